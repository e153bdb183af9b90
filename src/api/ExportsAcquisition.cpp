#include "api/ExportSupport.h"

using nivexa::api::withCamera;
using nivexa::camera::CNivexa;

extern "C" {

NIVEXA_API BOOL Nivexa_Preview(LONG h) {
  return withCamera(h, BOOL{0}, [](CNivexa& cam) { return cam.Preview(); });
}

NIVEXA_API BOOL Nivexa_CallBackPreview(LONG h, HWND notify, BYTE* buffer, LONG size,
                                       BOOL rowOrder) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) {
    return cam.CallBackPreview(notify, buffer, size, rowOrder);
  });
}

NIVEXA_API BOOL Nivexa_StartPreview(LONG h) {
  return withCamera(h, BOOL{0}, [](CNivexa& cam) { return cam.StartPreview(); });
}

NIVEXA_API BOOL Nivexa_StopPreview(LONG h) {
  return withCamera(h, BOOL{0}, [](CNivexa& cam) { return cam.StopPreview(); });
}

NIVEXA_API BOOL Nivexa_Capture(LONG h) {
  return withCamera(h, BOOL{0}, [](CNivexa& cam) { return cam.Capture(); });
}

NIVEXA_API BOOL Nivexa_SnapShot(LONG h, BYTE* buffer, LONG size, BOOL rowOrder) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SnapShot(buffer, size, rowOrder); });
}

NIVEXA_API BOOL Nivexa_GetImage(LONG h, BYTE* buffer, LONG size, BOOL rowOrder) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.GetImage(buffer, size, rowOrder); });
}

NIVEXA_API BOOL Nivexa_Trigger(LONG h, HWND notify, BYTE* buffer, LONG size, BOOL rowOrder) {
  return withCamera(h, BOOL{0},
                    [&](CNivexa& cam) { return cam.Trigger(notify, buffer, size, rowOrder); });
}

NIVEXA_API BOOL Nivexa_Close(LONG h) {
  return withCamera(h, BOOL{0}, [](CNivexa& cam) { return cam.Close(); });
}

NIVEXA_API LONG Nivexa_Width(LONG h) {
  return withCamera(h, LONG{0}, [](CNivexa& cam) { return cam.Width(); });
}

NIVEXA_API LONG Nivexa_Height(LONG h) {
  return withCamera(h, LONG{0}, [](CNivexa& cam) { return cam.Height(); });
}

}  // extern "C"

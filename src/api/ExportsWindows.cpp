#include <array>
#include <cstdint>

#include "api/ExportSupport.h"

using nivexa::api::withCamera;
using nivexa::camera::CNivexa;

extern "C" {

NIVEXA_API BOOL Nivexa_SetPreviewWindow(LONG h, HWND parent, LONG x, LONG y, LONG width,
                                        LONG height) {
  return withCamera(
      h, BOOL{0}, [&](CNivexa& cam) { return cam.SetPreviewWindow(parent, x, y, width, height); });
}

NIVEXA_API BOOL Nivexa_SetCaptureWindow(LONG h, LONG width, LONG height) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetCaptureWindow(width, height); });
}

NIVEXA_API BOOL Nivexa_SetCaptureWindowEx(LONG h, LONG hTotal, LONG hStart, LONG hEffective,
                                          LONG vTotal, LONG vStart, LONG vEffective) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) {
    return cam.SetCaptureWindowEx(hTotal, hStart, hEffective, vTotal, vStart, vEffective);
  });
}

NIVEXA_API BOOL Nivexa_GetCaptureWindowEx(LONG h, LONG* hTotal, LONG* hStart, LONG* hEffective,
                                          LONG* vTotal, LONG* vStart, LONG* vEffective) {
  // LONG is not int32_t everywhere (it is long on Windows): the values pass through int32_t.
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) {
    std::array<int32_t, 6> values{};
    const BOOL ok = cam.GetCaptureWindowEx(&values[0], &values[1], &values[2], &values[3],
                                           &values[4], &values[5]);
    const std::array<LONG*, 6> outputs{hTotal, hStart, hEffective, vTotal, vStart, vEffective};
    for (size_t i = 0; i < outputs.size(); ++i) {
      if (outputs[i] != nullptr) {
        *outputs[i] = values[i];
      }
    }
    return ok;
  });
}

NIVEXA_API BOOL Nivexa_SetCameraDlg(LONG h, HWND parent) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetCameraDlg(parent); });
}

NIVEXA_API BOOL Nivexa_SetImageDlg(LONG h, HWND parent) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetImageDlg(parent); });
}

NIVEXA_API BOOL Nivexa_SetAnalogDlg(LONG h, HWND parent) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetAnalogDlg(parent); });
}

}  // extern "C"

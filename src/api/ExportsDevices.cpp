#include "api/ExportSupport.h"

using nivexa::api::withCamera;
using nivexa::camera::CNivexa;

extern "C" {

NIVEXA_API LONG Nivexa_EnumDevice(LONG h, char names[10][256]) {
  return withCamera(h, LONG{0}, [&](CNivexa& cam) { return cam.EnumDevice(names); });
}

NIVEXA_API LONG Nivexa_EnumDeviceW(LONG h, wchar_t names[10][256]) {
  return withCamera(h, LONG{0}, [&](CNivexa& cam) { return cam.EnumDeviceW(names); });
}

NIVEXA_API BOOL Nivexa_GetDeviceName(LONG h, LONG index, char* buffer, LONG size) {
  return withCamera(h, BOOL{0},
                    [&](CNivexa& cam) { return cam.GetDeviceName(index, buffer, size); });
}

NIVEXA_API BOOL Nivexa_GetDeviceNameW(LONG h, LONG index, wchar_t* buffer, LONG size) {
  return withCamera(h, BOOL{0},
                    [&](CNivexa& cam) { return cam.GetDeviceNameW(index, buffer, size); });
}

NIVEXA_API BOOL Nivexa_SetDeviceNumber(LONG h, LONG number) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetDeviceNumber(number); });
}

NIVEXA_API BOOL Nivexa_ReadSerialNumberA(LONG h, char* buffer, LONG size) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.ReadSerialNumberA(buffer, size); });
}

NIVEXA_API BOOL Nivexa_ReadSerialNumberW(LONG h, wchar_t* buffer, LONG size) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.ReadSerialNumberW(buffer, size); });
}

NIVEXA_API BOOL Nivexa_GetCameraInfo(LONG h, NivexaCameraInfo* info) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.GetCameraInfo(info); });
}

}  // extern "C"

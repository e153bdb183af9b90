#include <algorithm>
#include <vector>

#include "NivexaDevices.h"
#include "api/ExportSupport.h"
#include "engine/DeviceCatalog.h"

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

NIVEXA_DEVICES_API int32_t NivexaDevices_UsbProducts(NivexaUsbProduct* out, int32_t capacity) {
  if (capacity < 0 || (out == nullptr && capacity > 0)) {
    return -1;
  }
  try {
    const std::vector<nivexa::engine::UsbIdentity> products = nivexa::engine::drivenUsbProducts();
    const size_t filled = std::min(products.size(), static_cast<size_t>(capacity));
    for (size_t i = 0; i < filled; ++i) {
      out[i] = NivexaUsbProduct{products[i].vendorId, products[i].productId};
    }
    return static_cast<int32_t>(products.size());
  } catch (...) {
    return -1;
  }
}

NIVEXA_DEVICES_API int NivexaDevices_UseVirtualCameras(const char* description) {
  try {
    return nivexa::engine::useVirtualCameras(description) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"

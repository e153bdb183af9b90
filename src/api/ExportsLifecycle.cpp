#include <memory>
#include <new>

#include "api/ExportSupport.h"
#include "api/SdkVersion.h"

using nivexa::api::withCamera;
using nivexa::camera::CNivexa;

namespace {

// One byte per part of the version, major first: 2.43.5.33 reads 0x022B0521.
constexpr uint32_t kVersionPartBits = 8;
constexpr uint32_t kVersionPartMax = (1u << kVersionPartBits) - 1;
static_assert(nivexa::api::kVersionMajor <= kVersionPartMax &&
                  nivexa::api::kVersionMinor <= kVersionPartMax &&
                  nivexa::api::kVersionPatch <= kVersionPartMax &&
                  nivexa::api::kVersionTweak <= kVersionPartMax,
              "each part of the version must fit the byte Nivexa_GetDllVersion gives it");
constexpr LONG kDllVersion =
    static_cast<LONG>(nivexa::api::kVersionMajor << (3 * kVersionPartBits) |
                      nivexa::api::kVersionMinor << (2 * kVersionPartBits) |
                      nivexa::api::kVersionPatch << kVersionPartBits | nivexa::api::kVersionTweak);
constexpr uint32_t kUnsupported = NIVEXA_ERR_UNSUPPORTED;

}  // namespace

extern "C" {

NIVEXA_API LONG Nivexa_Initialize(HWND notifyWindow) {
  try {
    auto camera = std::make_shared<CNivexa>();
    const LONG handle = nivexa::api::insertNewCamera(camera);
    // The outcome of the initialisation is reported through the error stack; the handle is
    // valid either way so that the application can read why.
    camera->Initialize(notifyWindow);
    return handle;
  } catch (...) {
    return 0;
  }
}

NIVEXA_API BOOL Nivexa_Release(LONG h) {
  try {
    auto removed = nivexa::api::sdkChain().remove(h);
    if (!removed) {
      return 0;
    }
    // The object is torn down here, outside the table lock, unless an export on another thread
    // still holds it; then that export's return tears it down. One waiting for a buffer is told
    // first, or it would hold the object (and its stream) for as long as it waits.
    if (removed->camera) {
      removed->camera->ReleaseBufferStream();
    }
    removed->camera.reset();
    return 1;
  } catch (...) {
    return 0;
  }
}

NIVEXA_API LONG Nivexa_GetDllVersion(void) {
  return kDllVersion;
}

NIVEXA_API LONG Nivexa_GetLastError(LONG h) {
  return withCamera(h, LONG{0}, [](CNivexa& cam) { return static_cast<LONG>(cam.GetLastError()); });
}

NIVEXA_API LONG Nivexa_GetStatus(LONG, void*) {
  return 0;
}

NIVEXA_API BOOL Nivexa_SendText(LONG h, char*) {
  return withCamera(h, BOOL{0}, [](CNivexa& cam) {
    cam.RecordError(kUnsupported);
    return 0;
  });
}

// Text exchange belongs to other cameras of the family: one refusal for both directions.
NIVEXA_API BOOL Nivexa_ReceiveText(LONG h, char* text) NIVEXA_ALIAS_OF("Nivexa_SendText");

NIVEXA_API BOOL Nivexa_Fps(LONG h) {
  return withCamera(h, BOOL{0}, [](CNivexa& cam) {
    cam.PostError(kUnsupported);
    return 0;
  });
}

// Clock and crossbar controls of other cameras of the family share the refusal of Nivexa_Fps;
// their further arguments, if a caller passes any, are never read.
NIVEXA_API BOOL Nivexa_GetHalfClock(LONG h) NIVEXA_ALIAS_OF("Nivexa_Fps");
NIVEXA_API BOOL Nivexa_SetCrossbar(LONG h) NIVEXA_ALIAS_OF("Nivexa_Fps");
NIVEXA_API BOOL Nivexa_SetHalfClock(LONG h) NIVEXA_ALIAS_OF("Nivexa_Fps");

}  // extern "C"

#include "api/ExportSupport.h"

using nivexa::api::withCamera;
using nivexa::camera::CNivexa;

namespace {

constexpr uint32_t kUnsupported = NIVEXA_ERR_UNSUPPORTED;

}  // namespace

extern "C" {

NIVEXA_API double Nivexa_GetExposureTimeEx(LONG h, BOOL* ok) {
  return withCamera(h, 0.0, [&](CNivexa& cam) { return cam.GetExposureTimeEx(ok); });
}

NIVEXA_API BOOL Nivexa_SetExposureTimeEx(LONG h, double seconds) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetExposureTimeEx(seconds); });
}

NIVEXA_API LONG Nivexa_GetRealExposureTime(LONG h, BOOL* ok) {
  return withCamera(h, LONG{0}, [&](CNivexa& cam) { return cam.GetRealExposureTime(ok); });
}

NIVEXA_API BOOL Nivexa_SetRealExposureTime(LONG h, LONG microseconds) {
  return withCamera(h, BOOL{0},
                    [&](CNivexa& cam) { return cam.SetRealExposureTime(microseconds); });
}

NIVEXA_API double Nivexa_GetTemperatureEx(LONG h, BOOL* ok) {
  return withCamera(h, 0.0, [&](CNivexa& cam) { return cam.GetTemperatureEx(ok); });
}

NIVEXA_API LONG Nivexa_GetMirrorH(LONG h) {
  return withCamera(h, LONG{0}, [](CNivexa& cam) { return cam.GetMirrorH(); });
}

NIVEXA_API BOOL Nivexa_SetMirrorH(LONG h, BOOL on) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetMirrorH(on); });
}

NIVEXA_API LONG Nivexa_GetMirrorV(LONG h) {
  return withCamera(h, LONG{0}, [](CNivexa& cam) { return cam.GetMirrorV(); });
}

NIVEXA_API BOOL Nivexa_SetMirrorV(LONG h, BOOL on) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetMirrorV(on); });
}

NIVEXA_API LONG Nivexa_GetSubSample(LONG h) {
  return withCamera(h, LONG{-1}, [](CNivexa& cam) { return cam.GetSubSample(); });
}

NIVEXA_API BOOL Nivexa_SetSubSample(LONG h, LONG code) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetSubSample(code); });
}

NIVEXA_API LONG Nivexa_GetColorMode(LONG h) {
  return withCamera(h, LONG{-1}, [](CNivexa& cam) { return cam.GetColorMode(); });
}

NIVEXA_API BOOL Nivexa_SetColorMode(LONG h, LONG bitsPerPixel) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetColorMode(bitsPerPixel); });
}

NIVEXA_API LONG Nivexa_GetWaitTime(LONG h) {
  return withCamera(h, LONG{-1}, [](CNivexa& cam) { return cam.GetWaitTime(); });
}

NIVEXA_API BOOL Nivexa_SetWaitTime(LONG h, LONG milliseconds) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetWaitTime(milliseconds); });
}

NIVEXA_API BOOL Nivexa_GetIOPort(LONG h, BYTE* value) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.GetIOPort(value); });
}

NIVEXA_API BOOL Nivexa_SetIOPort(LONG h, BYTE value) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetIOPort(value); });
}

NIVEXA_API LONG Nivexa_GetInternalCorrection(LONG h, BOOL* ok) {
  return withCamera(h, LONG{0}, [&](CNivexa& cam) { return cam.GetInternalCorrection(ok); });
}

NIVEXA_API BOOL Nivexa_SetInternalCorrection(LONG h, BOOL on) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetInternalCorrection(on); });
}

NIVEXA_API LONG Nivexa_GetAutoIris(LONG h, BOOL* ok) {
  return withCamera(h, LONG{0}, [&](CNivexa& cam) { return cam.GetAutoIris(ok); });
}

NIVEXA_API BOOL Nivexa_SetAutoIris(LONG h, LONG mode) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetAutoIris(mode); });
}

NIVEXA_API BOOL Nivexa_SetSamplingRate(LONG h, LONG rate) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetSamplingRate(rate); });
}

NIVEXA_API LONG Nivexa_GetSamplingRate(LONG h, LONG* value) {
  return withCamera(h, LONG{0}, [&](CNivexa&) {
    if (value != nullptr) {
      *value = 0;
    }
    return 0;
  });
}

// This camera has neither a selectable sampling rate nor video formats: one answer for both.
NIVEXA_API LONG Nivexa_GetVideoFormat(LONG h, LONG* value)
    NIVEXA_ALIAS_OF("Nivexa_GetSamplingRate");

NIVEXA_API LONG Nivexa_GetConfigFilter(LONG h) {
  return withCamera(h, LONG{0}, [](CNivexa& cam) {
    cam.RecordError(kUnsupported);
    return -1;
  });
}

NIVEXA_API LONG Nivexa_SetConfigFilter(LONG h) {
  return withCamera(h, LONG{0}, [](CNivexa& cam) {
    cam.RecordError(kUnsupported);
    return -1;
  });
}

}  // extern "C"

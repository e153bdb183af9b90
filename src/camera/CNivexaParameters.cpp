#include "camera/CNivexa.h"

namespace nivexa::camera {

namespace {

constexpr int32_t kBitsPerColorMode[] = {8, 16, 24, 32, 48, 64};

void setOk(BOOL* ok, BOOL value) {
  if (ok != nullptr) {
    *ok = value;
  }
}

}  // namespace

int32_t CNivexa::GetFilterValue(int32_t, BOOL* ok) {
  if (!RequireEngine()) {
    setOk(ok, 0);
    return 0;
  }
  return 0;
}

int CNivexa::SetFilterValue(int32_t, int32_t) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

double CNivexa::GetExposureTimeEx(BOOL* ok) {
  if (!RequireEngine()) {
    setOk(ok, 0);
    return -1.0;
  }
  return -1.0;
}

int CNivexa::SetExposureTimeEx(double) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

int32_t CNivexa::GetRealExposureTime(BOOL* ok) {
  if (!RequireEngine()) {
    setOk(ok, 0);
    return 0;
  }
  return 0;
}

int CNivexa::SetRealExposureTime(int32_t) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

double CNivexa::GetTemperatureEx(BOOL* ok) {
  if (!RequireEngine()) {
    setOk(ok, 0);
    return 0.0;
  }
  return 0.0;
}

int32_t CNivexa::GetMirrorH() {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

int CNivexa::SetMirrorH(int32_t) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

// The vertical mirror only posts its refusal, unlike the horizontal one; applications have
// always seen it that way.
int32_t CNivexa::GetMirrorV() {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  return 0;
}

int CNivexa::SetMirrorV(int32_t) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  return 0;
}

int CNivexa::SetSubSample(int32_t code) {
  if (code != 0 && code != 1) {
    return 0;
  }
  subsample_ = code;
  return 1;
}

int32_t CNivexa::GetColorMode() const {
  const int32_t mode = colorMode_;
  return mode >= 0 && mode < 6 ? kBitsPerColorMode[mode] : -1;
}

int CNivexa::SetColorMode(int32_t bitsPerPixel) {
  for (int32_t mode = 0; mode < 6; ++mode) {
    if (kBitsPerColorMode[mode] == bitsPerPixel) {
      colorMode_ = mode;
      return 1;
    }
  }
  RecordError(NIVEXA_ERR_ARGUMENT);
  return 0;
}

int CNivexa::SetWaitTime(int32_t milliseconds) {
  if (milliseconds < 0) {
    return 0;
  }
  waitTimeMs_ = milliseconds;
  return 1;
}

int CNivexa::GetIOPort(uint8_t*) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  return 0;
}

int CNivexa::SetIOPort(uint8_t) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  return 0;
}

int32_t CNivexa::GetInternalCorrection(BOOL*) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  return 0;
}

int CNivexa::SetInternalCorrection(int32_t) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  return 0;
}

int32_t CNivexa::GetAutoIris(BOOL* ok) {
  setOk(ok, 1);
  return autoIris_;
}

int CNivexa::SetAutoIris(int32_t mode) {
  if (mode < 0 || mode > 2) {
    PostError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  autoIris_ = mode;
  return 1;
}

int CNivexa::SetSamplingRate(int32_t) {
  // Without an engine there is no frame period to set, and nothing is recorded.
  return 0;
}

}  // namespace nivexa::camera

#include "camera/CNivexa.h"

namespace nivexa::camera {

namespace {

void setOk(BOOL* ok, BOOL value) {
  if (ok != nullptr) {
    *ok = value;
  }
}

}  // namespace

int32_t CNivexa::FpgaReadRegister(int32_t, BOOL* ok) {
  if (!RequireEngine()) {
    setOk(ok, 0);
    return 0;
  }
  return 0;
}

int CNivexa::FpgaWriteRegister(int32_t, int32_t) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

int32_t CNivexa::ReadSensorRegister(uint32_t, BOOL* ok) {
  if (!RequireEngine()) {
    setOk(ok, 0);
    return 0;
  }
  return 0;
}

int CNivexa::WriteSensorRegister(uint32_t, uint32_t) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

// The device-memory functions only post their refusal; applications poll them in loops and
// must not fill their error stack.
int32_t CNivexa::ReadSromID(int32_t, BOOL* ok) {
  if (!engine_) {
    setOk(ok, 0);
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  return 0;
}

int CNivexa::WriteSromID(int32_t, int32_t) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  return 0;
}

}  // namespace nivexa::camera

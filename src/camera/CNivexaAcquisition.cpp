#include "camera/CNivexa.h"

namespace nivexa::camera {

int CNivexa::Preview() {
  callbackWindow_ = nullptr;
  callbackBuffer_ = nullptr;
  callbackSize_ = 0;
  callbackRowOrder_ = 0;
  return CallBackPreview(nullptr, nullptr, 0, 0);
}

int CNivexa::CallBackPreview(HWND window, uint8_t* buffer, int32_t size, int32_t rowOrder) {
  callbackWindow_ = window;
  callbackBuffer_ = buffer;
  callbackSize_ = size;
  callbackRowOrder_ = rowOrder;
  if (!StartPreview()) {
    Close();
    RecordError(NIVEXA_ERR_FRAME);
    return 0;
  }
  return 1;
}

int CNivexa::StartPreview() {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

int CNivexa::StopPreview() {
  if (!RequireEngine()) {
    return 0;
  }
  running_ = 0;
  mode_ = 0;
  return 1;
}

int CNivexa::Capture() {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

int CNivexa::SnapShot(uint8_t*, int32_t, int32_t) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

int CNivexa::GetImage(uint8_t*, int32_t, int32_t) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

int CNivexa::Trigger(HWND window, uint8_t* buffer, int32_t size, int32_t rowOrder) {
  if (!RequireEngine()) {
    return 0;
  }
  callbackWindow_ = window;
  callbackBuffer_ = buffer;
  callbackSize_ = size;
  callbackRowOrder_ = rowOrder;
  return 0;
}

int CNivexa::Close() {
  StopPreview();
  imageReady_ = 0;
  return 1;
}

}  // namespace nivexa::camera

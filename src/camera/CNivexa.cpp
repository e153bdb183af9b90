#include "camera/CNivexa.h"

#include <array>

#include "platform/Messages.h"

namespace nivexa::camera {

namespace {

// {328184C5-93E6-49B7-94B8-2ADA13AABB39}: the camera's device interface class, for arrival and
// removal notices to the application's window.
constexpr std::array<uint8_t, 16> kDeviceInterfaceClass = {
    0x32, 0x81, 0x84, 0xC5, 0x93, 0xE6, 0x49, 0xB7, 0x94, 0xB8, 0x2A, 0xDA, 0x13, 0xAA, 0xBB, 0x39};

}  // namespace

CNivexa::CNivexa() = default;

CNivexa::~CNivexa() {
  Teardown();
}

int CNivexa::Initialize(HWND notifyWindow) {
  notifyWindow_ = notifyWindow;
  if (notifyWindow != nullptr &&
      !platform::registerDeviceInterfaceNotification(notifyWindow, kDeviceInterfaceClass)) {
    return 0;
  }
  if (!engine_) {
    RecordError(NIVEXA_ERR_MEMORY);
    return 0;
  }
  return 1;
}

void CNivexa::Teardown() {
  currentDevice_ = -1;
  // Without an engine nothing can have been started, and a Close would only report the missing
  // engine to the application while its handle is going away.
  if (engine_) {
    Close();
    engine_.reset();
  }
}

void CNivexa::RecordError(uint32_t code) {
  errors_.push(code);
  if (HWND window = notifyWindow_.load(); window != nullptr) {
    platform::postMessage(window, kErrorMessage, 0, static_cast<intptr_t>(code));
  }
}

void CNivexa::PostError(uint32_t code) const {
  // Posted even without a notification window: it then lands in the calling thread's queue.
  platform::postMessage(notifyWindow_.load(), kErrorMessage, 0, static_cast<intptr_t>(code));
}

bool CNivexa::RequireEngine() {
  if (engine_) {
    return true;
  }
  RecordError(NIVEXA_ERR_NO_CAMERA);
  return false;
}

}  // namespace nivexa::camera

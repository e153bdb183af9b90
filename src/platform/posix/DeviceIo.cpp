#include "platform/DeviceIo.h"

namespace nivexa::platform {

// Linux reaches real cameras through libusb, not through a kernel driver's control codes.
std::shared_ptr<DeviceIo> systemDeviceIo() {
  return nullptr;
}

}  // namespace nivexa::platform

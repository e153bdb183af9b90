#pragma once

#include <string>

#include "platform/Messages.h"

namespace nivexa::transport {

// A camera interface appeared or went, as a backend saw it: every notification window
// registered for the camera's interface class hears of it.
void announceDeviceChange(platform::DeviceChange change, const std::string& path);

// Learning of arrivals and removals costs some backends a thread of their own (libusb's event
// handling), so they watch only while somebody holds a DeviceWatch: a camera object whose
// application gave it a window for the notices.
class DeviceWatch {
 public:
  DeviceWatch();
  ~DeviceWatch();
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;
};

}  // namespace nivexa::transport

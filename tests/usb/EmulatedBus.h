#pragma once

#include <umockdev.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/Camera.h"

// A USB bus in a umockdev testbed whose devices are virtual cameras: each has the sysfs entry and
// /dev/bus/usb node libusb looks for, and answers the usbfs requests sent to that node from the
// camera model. Programs see it when they run with umockdev's preload library pointed at
// rootDir().
namespace nivexa::usbtest {

inline constexpr int kBusNumber = 1;

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object != nullptr) {
      g_object_unref(object);
    }
  }
};
template <class T>
using GRef = std::unique_ptr<T, GObjectUnref>;

class EmulatedDevice;

// One bulk IN transfer of a camera's frame endpoint as the device saw it.
struct UrbTiming {
  sim::Camera::Clock::time_point submitted;  // the URB reached the device
  sim::Camera::Clock::time_point completed;  // its data was complete
  int32_t bytes = 0;
};

class EmulatedBus {
 public:
  // wireBytesPerSecond: how fast a camera's frame endpoint moves data, so that a transfer stays
  // pending at the device while its bytes cross the wire; 0 fills each one at once.
  explicit EmulatedBus(const std::vector<sim::CameraOptions>& cameras,
                       double wireBytesPerSecond = 0);
  ~EmulatedBus();
  EmulatedBus(const EmulatedBus&) = delete;
  EmulatedBus& operator=(const EmulatedBus&) = delete;

  // Empty when the testbed could not be set up; the reason went to stderr.
  const std::string& rootDir() const { return rootDir_; }
  sim::Camera& camera(size_t index);
  size_t cameraCount() const { return devices_.size(); }
  // The camera's frame-endpoint transfers since the last call.
  std::vector<UrbTiming> takeFrameUrbTimings(size_t index);
  // A cable pulled: the camera's requests fail from now on, its sysfs entry goes and a removal
  // uevent tells the clients' hot-plug monitors. False for an unknown or unplugged camera.
  bool unplug(size_t index);
  // As if another program had claimed (or let go of) the camera's interface.
  bool holdElsewhere(size_t index, bool held);
  // Plugged in again on the same port: powered up afresh, back in sysfs, with an add uevent.
  bool replug(size_t index);

 private:
  GRef<UMockdevTestbed> testbed_;
  std::string rootDir_;
  std::vector<std::shared_ptr<EmulatedDevice>> devices_;
};

}  // namespace nivexa::usbtest

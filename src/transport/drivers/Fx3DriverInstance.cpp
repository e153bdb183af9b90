#include <memory>

#include "platform/DeviceIo.h"
#include "sim/CameraSet.h"
#include "transport/drivers/CompositeDriver.h"
#include "transport/drivers/Fx3Driver.h"
#include "transport/drivers/KernelDriverBackend.h"
#include "transport/drivers/UsbBackend.h"
#include "transport/drivers/VirtualCameraBackend.h"
#include "transport/drivers/VirtualCameraEnvironment.h"

namespace nivexa::transport {
namespace {

// The backends of the process, chosen when the first controller needs a driver (that is, when
// the first camera handle is made). The virtual cameras the environment asks for are made then,
// and made again from the variable's new value at an enumeration while no device is open: a
// program that found no camera can ask for a virtual one and look again.
class ProcessDriver : public CompositeDriver {
 public:
  ProcessDriver() : environmentCameras_(sim::cameras()) {
    // First, so that the cameras that are there from the start are not announced as arrivals.
    environmentCameras_.update();
    // The virtual camera backend is always there; it lists nothing until cameras are created, by
    // the environment variable or by a test or tool through sim::createCamera().
    add(std::make_shared<VirtualCameraBackend>(sim::cameras()));
    // Real cameras behind their kernel driver, where the system has one (Windows).
    if (auto calls = platform::systemDeviceIo()) {
      add(std::make_shared<KernelDriverBackend>(std::move(calls)));
    }
    // Real cameras through the USB library (Linux), unless NIVEXA_USB=0 turns it off. After the
    // virtual cameras, so that a program that asks for those finds them first.
    if (auto usb = makeUsbBackend()) {
      add(std::move(usb));
    }
  }

  bool requestVirtualCameras(const char* text) { return environmentCameras_.request(text); }

  std::vector<std::string> enumerate(const Guid& interfaceGuid) override {
    whileNoDeviceOpen([this] { environmentCameras_.update(); });
    return CompositeDriver::enumerate(interfaceGuid);
  }

 private:
  // After construction, update() only under whileNoDeviceOpen().
  EnvironmentCameras environmentCameras_;
};

ProcessDriver& processDriver() {
  // Never destroyed: controllers held by other static objects may still close their handles
  // while the process exits, after function-local statics would be gone.
  static ProcessDriver* driver = new ProcessDriver;
  return *driver;
}

}  // namespace

Fx3Driver& fx3Driver() {
  return processDriver();
}

bool requestVirtualCameras(const char* text) {
  return processDriver().requestVirtualCameras(text);
}

void addFx3Backend(std::shared_ptr<Fx3Driver> backend) {
  processDriver().add(std::move(backend));
}

}  // namespace nivexa::transport

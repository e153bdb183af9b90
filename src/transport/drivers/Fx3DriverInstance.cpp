#include <memory>

#include "platform/DeviceIo.h"
#include "sim/CameraSet.h"
#include "transport/drivers/CompositeDriver.h"
#include "transport/drivers/Fx3Driver.h"
#include "transport/drivers/KernelDriverBackend.h"
#include "transport/drivers/VirtualCameraBackend.h"
#include "transport/drivers/VirtualCameraEnvironment.h"

namespace nivexa::transport {
namespace {

CompositeDriver& composite() {
  // The virtual camera backend is always there; it lists nothing until cameras are created, by
  // the environment variable here or by a test or tool through sim::createCamera().
  // Never destroyed: controllers held by other static objects may still close their handles
  // while the process exits, after function-local statics would be gone.
  static CompositeDriver* driver = [] {
    auto* d = new CompositeDriver;
    d->add(std::make_shared<VirtualCameraBackend>(sim::cameras()));
    // Real cameras behind their kernel driver, where the system has one (Windows).
    if (auto calls = platform::systemDeviceIo()) {
      d->add(std::make_shared<KernelDriverBackend>(std::move(calls)));
    }
    createVirtualCamerasFromEnvironment(sim::cameras());
    return d;
  }();
  return *driver;
}

}  // namespace

Fx3Driver& fx3Driver() {
  return composite();
}

void addFx3Backend(std::shared_ptr<Fx3Driver> backend) {
  composite().add(std::move(backend));
}

}  // namespace nivexa::transport

#include "transport/drivers/DeviceNotices.h"

#include <mutex>

#include "transport/drivers/Fx3Driver.h"

namespace nivexa::transport {
namespace {

struct Watchers {
  std::mutex mutex;  // held across the backends' start and stop, so those never overlap
  int count = 0;
};

Watchers& watchers() {
  static auto* instance = new Watchers;  // camera objects may outlive function-local statics
  return *instance;
}

}  // namespace

void announceDeviceChange(platform::DeviceChange change, const std::string& path) {
  platform::postDeviceChange(kCameraInterfaceGuid, change, path);
}

DeviceWatch::DeviceWatch() {
  auto& w = watchers();
  std::lock_guard lock(w.mutex);
  if (w.count++ == 0) {
    fx3Driver().watchDevices(true);
  }
}

DeviceWatch::~DeviceWatch() {
  auto& w = watchers();
  std::lock_guard lock(w.mutex);
  if (--w.count == 0) {
    fx3Driver().watchDevices(false);
  }
}

}  // namespace nivexa::transport

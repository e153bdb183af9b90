#include "transport/drivers/CompositeDriver.h"

namespace nivexa::transport {

void CompositeDriver::add(std::shared_ptr<Fx3Driver> backend) {
  bool watching = false;
  {
    std::lock_guard lock(mutex_);
    backends_.push_back(backend);
    watching = watching_;
  }
  if (watching) {
    backend->watchDevices(true);
  }
}

void CompositeDriver::watchDevices(bool on) {
  std::vector<std::shared_ptr<Fx3Driver>> backends;
  {
    std::lock_guard lock(mutex_);
    watching_ = on;
    backends = backends_;
  }
  for (auto& backend : backends) {
    backend->watchDevices(on);
  }
}

std::vector<std::string> CompositeDriver::enumerate(const Guid& interfaceGuid) {
  std::vector<std::shared_ptr<Fx3Driver>> backends;
  {
    std::lock_guard lock(mutex_);
    backends = backends_;
  }
  std::vector<std::string> paths;
  std::map<std::string, std::shared_ptr<Fx3Driver>> owners;
  for (const auto& backend : backends) {
    for (auto& path : backend->enumerate(interfaceGuid)) {
      owners[path] = backend;
      paths.push_back(std::move(path));
    }
  }
  std::lock_guard lock(mutex_);
  for (auto& [path, backend] : owners) {
    owners_[path] = backend;
  }
  return paths;
}

DeviceHandle CompositeDriver::open(const std::string& path, bool overlapped) {
  std::vector<std::shared_ptr<Fx3Driver>> candidates;
  {
    std::lock_guard lock(mutex_);
    ++opening_;
    auto owner = owners_.find(path);
    if (owner != owners_.end()) {
      candidates.push_back(owner->second);
    }
    for (const auto& backend : backends_) {
      if (candidates.empty() || backend != candidates.front()) {
        candidates.push_back(backend);
      }
    }
  }
  // A path that was never enumerated (a caller that remembers it) is offered to every backend.
  for (const auto& backend : candidates) {
    DeviceHandle inner = backend->open(path, overlapped);
    if (inner != kInvalidDeviceHandle) {
      std::lock_guard lock(mutex_);
      --opening_;
      DeviceHandle handle = nextHandle_++;
      handles_[handle] = {backend, inner};
      return handle;
    }
  }
  std::lock_guard lock(mutex_);
  --opening_;
  return kInvalidDeviceHandle;
}

bool CompositeDriver::whileNoDeviceOpen(const std::function<void()>& change) {
  std::lock_guard lock(mutex_);
  if (!handles_.empty() || opening_ != 0) {
    return false;
  }
  change();
  return true;
}

bool CompositeDriver::route(DeviceHandle handle, Route& out) {
  std::lock_guard lock(mutex_);
  auto it = handles_.find(handle);
  if (it == handles_.end()) {
    return false;
  }
  out = it->second;
  return true;
}

void CompositeDriver::close(DeviceHandle handle) {
  Route r;
  {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
      return;
    }
    r = it->second;
    handles_.erase(it);
  }
  r.backend->close(r.inner);
}

IoResult CompositeDriver::ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in,
                                std::span<uint8_t> out, Overlapped* overlapped) {
  Route r;
  if (!route(handle, r)) {
    return {false, 0, kErrorInvalidHandle};
  }
  return r.backend->ioctl(r.inner, code, in, out, overlapped);
}

IoResult CompositeDriver::overlappedResult(DeviceHandle handle, Overlapped& overlapped, bool wait) {
  Route r;
  if (!route(handle, r)) {
    return {false, 0, kErrorInvalidHandle};
  }
  return r.backend->overlappedResult(r.inner, overlapped, wait);
}

}  // namespace nivexa::transport

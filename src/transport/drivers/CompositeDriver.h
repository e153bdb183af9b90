#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/drivers/Fx3Driver.h"

namespace nivexa::transport {

// Several backends behind one Fx3Driver: enumeration merges their paths, open() goes to the
// backend that listed the path, and handles are renumbered so that they are unique across
// backends.
class CompositeDriver : public Fx3Driver {
 public:
  void add(std::shared_ptr<Fx3Driver> backend);

  std::vector<std::string> enumerate(const Guid& interfaceGuid) override;
  DeviceHandle open(const std::string& path, bool overlapped) override;
  void close(DeviceHandle handle) override;
  IoResult ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in, std::span<uint8_t> out,
                 Overlapped* overlapped) override;
  IoResult overlappedResult(DeviceHandle handle, Overlapped& overlapped, bool wait) override;
  void watchDevices(bool on) override;  // every backend, and those added while on

  // Runs `change` only while no device is open through this driver, nor being opened, and keeps
  // every open() waiting until it is done: what it changes cannot be in use. False when it did
  // not run.
  bool whileNoDeviceOpen(const std::function<void()>& change);

 private:
  struct Route {
    std::shared_ptr<Fx3Driver> backend;
    DeviceHandle inner = kInvalidDeviceHandle;
  };
  bool route(DeviceHandle handle, Route& out);

  std::mutex mutex_;
  std::vector<std::shared_ptr<Fx3Driver>> backends_;
  std::map<std::string, std::shared_ptr<Fx3Driver>> owners_;  // path -> backend that listed it
  std::map<DeviceHandle, Route> handles_;
  DeviceHandle nextHandle_ = 0x100;
  int opening_ = 0;
  bool watching_ = false;  // open() calls between choosing a backend and recording the handle
};

}  // namespace nivexa::transport

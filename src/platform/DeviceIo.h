#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace nivexa::platform {

// One overlapped request in flight: the system's completion record and its event.
class PendingIo {
 public:
  virtual ~PendingIo() = default;
  // Calls `done` once, on a system thread, when the request has finished. Only for a request
  // the system accepted as pending; `done` may run before this returns.
  virtual bool notifyWhenDone(std::function<void()> done) = 0;
};

struct DeviceIoOutcome {
  bool ok = false;
  uint32_t bytes = 0;
  uint32_t error = 0;  // the system's last error when !ok
};

// The kernel-driver calls of the Windows USB path, one to one: device-interface enumeration
// (SetupAPI), CreateFileA, DeviceIoControl and GetOverlappedResult. The driver backend above
// them is written against this interface so that it can be tested with a fake of the calls.
class DeviceIo {
 public:
  using Handle = std::intptr_t;
  static constexpr Handle kInvalidHandle = -1;

  virtual ~DeviceIo() = default;
  // Device interface paths of the present devices of one interface class (GUID bytes in the
  // order of the GUID's text form).
  virtual std::vector<std::string> interfacePaths(const std::array<uint8_t, 16>& classGuid) = 0;
  virtual Handle createFile(const std::string& path, bool overlapped) = 0;
  virtual void closeHandle(Handle handle) = 0;
  virtual std::unique_ptr<PendingIo> newPendingIo() = 0;
  // With `pending`, the request is made overlapped on it and may fail with error 997 (pending).
  virtual DeviceIoOutcome deviceIoControl(Handle handle, uint32_t code, std::span<uint8_t> in,
                                          std::span<uint8_t> out, PendingIo* pending) = 0;
  virtual DeviceIoOutcome getOverlappedResult(Handle handle, PendingIo& pending, bool wait) = 0;
};

// The system's calls; null where the system has no kernel driver interface of this kind.
std::shared_ptr<DeviceIo> systemDeviceIo();

}  // namespace nivexa::platform

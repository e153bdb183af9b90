#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/DeviceIo.h"
#include "transport/drivers/BackendBookkeeping.h"
#include "transport/drivers/Fx3Driver.h"

namespace nivexa::transport {

// The camera's own kernel driver (Windows): request records and buffers go to DeviceIoControl
// exactly as the controller built them; the driver decodes them. Overlapped requests complete on
// a system thread, which fills the caller's Overlapped and sets its event as the contract of
// Fx3Driver asks.
class KernelDriverBackend : public Fx3Driver {
 public:
  explicit KernelDriverBackend(std::shared_ptr<platform::DeviceIo> calls);
  ~KernelDriverBackend() override;

  std::vector<std::string> enumerate(const Guid& interfaceGuid) override;
  DeviceHandle open(const std::string& path, bool overlapped) override;
  void close(DeviceHandle handle) override;
  IoResult ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in, std::span<uint8_t> out,
                 Overlapped* overlapped) override;
  IoResult overlappedResult(DeviceHandle handle, Overlapped& overlapped, bool wait) override;

 private:
  struct Opened {
    platform::DeviceIo::Handle os = platform::DeviceIo::kInvalidHandle;
    bool overlapped = false;
  };
  struct Request {
    platform::DeviceIo::Handle os = platform::DeviceIo::kInvalidHandle;
    std::unique_ptr<platform::PendingIo> pending;
  };

  IoResult waitInPlace(const Opened& opened, uint32_t code, std::span<uint8_t> in,
                       std::span<uint8_t> out);
  void finished(Overlapped* overlapped);
  // Completion records are freed here, on a caller's thread: never inside their own callback.
  void reap();

  const std::shared_ptr<platform::DeviceIo> calls_;
  HandleTable<Opened> handles_;
  PendingRequests<Request> inFlight_;
  std::mutex doneMutex_;  // guards done_
  std::vector<std::unique_ptr<platform::PendingIo>> done_;
};

}  // namespace nivexa::transport

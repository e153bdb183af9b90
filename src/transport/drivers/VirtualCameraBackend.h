#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Event.h"
#include "platform/Thread.h"
#include "sim/CameraSet.h"
#include "transport/drivers/BackendBookkeeping.h"
#include "transport/drivers/DriverRecord.h"
#include "transport/drivers/Fx3Driver.h"

namespace nivexa::transport {

// The driver as it would sit in front of the virtual cameras of one camera set: it decodes the
// request records, runs control transfers on the camera's firmware model, and keeps bulk
// transfers pending until the camera has data (completed by its own thread, which sets the
// caller's event as the kernel would).
//
// It is strict where a driver is: a record that does not have the form of its request (vendor
// block length field, data offset and data length; bulk records' data description; buffers too
// short) fails with kErrorInvalidParameter and never reaches the camera. Every decoded record,
// refused or not, is logged on the camera it was meant for (sim::Camera::requests()).
// A bulk transfer without an Overlapped waits at most the record's time limit (seconds; 0 means
// kDefaultTimeLimitS) and then fails with kErrorSemTimeout. Overlapped transfers wait until
// they complete or are aborted: their caller keeps the time.
class VirtualCameraBackend : public Fx3Driver {
 public:
  static constexpr uint32_t kDefaultTimeLimitS = 5;

  explicit VirtualCameraBackend(sim::CameraSet& cameras);
  ~VirtualCameraBackend() override;

  std::vector<std::string> enumerate(const Guid& interfaceGuid) override;
  DeviceHandle open(const std::string& path, bool overlapped) override;
  void close(DeviceHandle handle) override;
  IoResult ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in, std::span<uint8_t> out,
                 Overlapped* overlapped) override;
  IoResult overlappedResult(DeviceHandle handle, Overlapped& overlapped, bool wait) override;

  // "\\?\usb#vid_04b4&pid_33d0#<instance>#{328184c5-...}"
  static std::string devicePath(const sim::CameraOptions& options, const std::string& instance);

 private:
  struct Handle {
    std::shared_ptr<sim::Camera> camera;
    uint64_t generation = 0;
    bool overlapped = false;
  };
  struct Transfer {
    DeviceHandle handle = kInvalidDeviceHandle;
    std::shared_ptr<sim::Camera> camera;
    uint64_t generation = 0;
    uint8_t endpoint = 0;
    std::span<uint8_t> data;
    std::span<uint8_t> record;
    uint32_t extraBytes = 0;  // buffered transfers count the record too
    sim::Camera::Clock::time_point retryAt = sim::Camera::Clock::time_point::max();
  };

  IoResult vendorRequest(const Handle& h, const DriverRecord& record, std::span<uint8_t> in,
                         std::span<uint8_t> out, Overlapped* overlapped);
  IoResult bulkTransfer(DeviceHandle handle, const Handle& h, uint32_t code,
                        const DriverRecord& record, std::span<uint8_t> in, std::span<uint8_t> out,
                        Overlapped* overlapped);
  static uint32_t syncLimitMs(const DriverRecord& record);
  // Tries to finish the transfer: its outcome once it ended (successfully or not).
  static std::optional<IoResult> attempt(Transfer& t);
  static IoResult ended(Transfer& t, uint32_t bytes, uint32_t error);
  void cancel(const std::function<bool(const Transfer&)>& which, uint32_t error);
  void watch(const std::shared_ptr<sim::Camera>& camera);
  void worker();
  // A camera of the set as last announced.
  struct Known {
    std::weak_ptr<sim::Camera> camera;  // a removed camera may go before the next look
    std::string path;
    bool plugged = false;
    uint64_t generation = 0;  // a replug between two looks still counts as out and in
    int listener = 0;
  };
  Known know(const std::shared_ptr<sim::Camera>& camera, const std::string& instance);
  // Compares the set with known_ and announces the difference. Lock order: plugMutex_, then a
  // camera's listener lock (adding a listener); a camera's notification never waits for
  // plugMutex_.
  void announcePlugChanges();

  sim::CameraSet& cameras_;
  HandleTable<Handle> handles_;
  PendingRequests<Transfer> pending_;
  std::mutex mutex_;  // guards listeners_, and keeps opening and closing one at a time
  std::map<std::shared_ptr<sim::Camera>, int> listeners_;
  platform::Event wake_{platform::Event::Reset::Auto};
  std::atomic<bool> stop_{false};
  std::atomic<bool> plugsChanged_{false};  // a camera's event: the worker looks again
  std::mutex plugMutex_;                   // guards known_
  std::map<std::string, Known> known_;  // by instance
  std::vector<Known> left_;             // gone from the set, still listened to
  int setListener_ = 0;
  platform::Thread thread_;
};

}  // namespace nivexa::transport

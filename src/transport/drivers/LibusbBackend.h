#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Thread.h"
#include "transport/drivers/BackendBookkeeping.h"
#include "transport/drivers/DriverRecord.h"
#include "transport/drivers/Fx3Driver.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;
struct libusb_transfer;

namespace nivexa::transport {

// The driver for real cameras on Linux: libusb-1.0 over usbfs. The request records the controller
// builds are decoded here as the kernel driver would decode them and carried out as control and
// bulk transfers.
//
// - Devices are named "\\?\usb#vid_XXXX&pid_YYYY#<bus>-<port chain>#{guid}", so a camera keeps
//   its path while it stays on its port. Listed: vendor 0x04B4 or one of NIVEXA_USB_VENDOR_IDS
//   (hex, comma-separated), with a product of the family table.
// - Every handle on one device shares one libusb handle with interface 0 claimed (a kernel driver
//   bound to it is detached meanwhile); the last close releases it.
// - Every transfer is asynchronous underneath, completed by one event thread that runs while any
//   handle is open. A synchronous request waits for its own transfer, bounded by the record's time
//   limit (kDefaultTimeLimitS when 0); an overlapped one has the record's limit too, none when 0:
//   its caller keeps the time and aborts.
// - A bulk transfer longer than kChunkBytes goes as up to kChunksInFlight transfers in flight
//   at once, each into its own piece of the caller's buffer.
// - While devices are watched, libusb's hot-plug events for cameras are announced as arrivals
//   and removals (DeviceNotices.h); the event thread then runs even with no handle open.
// - Once libusb says the device is gone, the device is lost for good: every request on it fails
//   with kErrorDeviceNotConnected, and that is logged once.
class LibusbBackend : public Fx3Driver {
 public:
  static constexpr uint32_t kDefaultTimeLimitS = 5;
  static constexpr uint32_t kChunkBytes = 1U << 20;
  static constexpr size_t kChunksInFlight = 4;

  // Null when libusb cannot start; the reason is logged.
  static std::shared_ptr<LibusbBackend> create();
  ~LibusbBackend() override;
  LibusbBackend(const LibusbBackend&) = delete;
  LibusbBackend& operator=(const LibusbBackend&) = delete;

  std::vector<std::string> enumerate(const Guid& interfaceGuid) override;
  DeviceHandle open(const std::string& path, bool overlapped) override;
  void close(DeviceHandle handle) override;
  IoResult ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in, std::span<uint8_t> out,
                 Overlapped* overlapped) override;
  IoResult overlappedResult(DeviceHandle handle, Overlapped& overlapped, bool wait) override;
  void watchDevices(bool on) override;
  // The CPU time the event thread has used since it started, for benchmarks; 0 while none runs.
  uint64_t eventThreadCpuNs();

 private:
  struct ContextExit {
    void operator()(libusb_context* context) const;
  };
  struct Device;
  struct Opened {
    std::shared_ptr<Device> device;
    bool overlapped = false;
  };
  struct Flight;
  // What the bookkeeping of requests in flight needs to pick them out; the flight itself lives
  // in flights_ until its last transfer came back.
  struct Request {
    Flight* flight = nullptr;
    DeviceHandle handle = kInvalidDeviceHandle;
    const Device* device = nullptr;
    uint8_t endpoint = 0;
  };
  struct EventLoop {
    std::atomic<bool> stop{false};
    platform::Thread thread;
  };

  explicit LibusbBackend(libusb_context* context);

  IoResult transferRequest(DeviceHandle handle, const Opened& opened, uint32_t code,
                           const DriverRecord& record, std::span<uint8_t> in,
                           std::span<uint8_t> out, Overlapped* overlapped);
  IoResult launch(std::unique_ptr<Flight> flight, Overlapped* overlapped);
  void submitLocked(Flight& flight, libusb_transfer* transfer);
  void stopLocked(Flight& flight, uint32_t error);
  std::unique_ptr<Flight> takeIfEndedLocked(Flight& flight);
  IoResult finish(std::unique_ptr<Flight> flight, Notify notify);
  static void onTransferDone(libusb_transfer* transfer);
  void transferDone(libusb_transfer* transfer);
  // Cancels the matching requests, each ending with kErrorOperationAborted, and returns once
  // all of them have ended.
  void abortWhere(const std::function<bool(const Request&)>& matches);
  // The driver's error for a libusb error on `device`; a vanished device is marked lost here.
  uint32_t driverError(Device& device, int libusbError);
  static int onHotplug(libusb_context* context, libusb_device* device, int event, void* self);
  void startEventsLocked();
  std::unique_ptr<EventLoop> stopEventsLocked();

  std::unique_ptr<libusb_context, ContextExit> context_;
  HandleTable<Opened> handles_;
  PendingRequests<Request> pending_;
  std::mutex openMutex_;  // keeps opening and closing one at a time; guards what follows
  std::map<std::string, std::weak_ptr<Device>> devices_;  // by path in lower case
  size_t openCount_ = 0;
  bool watching_ = false;
  int hotplugHandle_ = 0;
  std::unique_ptr<EventLoop> events_;
  std::mutex flightsMutex_;  // guards flights_ and every flight's state
  std::map<Flight*, std::unique_ptr<Flight>> flights_;
};

}  // namespace nivexa::transport

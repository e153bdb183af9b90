#include "transport/drivers/LibusbBackend.h"

#include <libusb.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "family/FamilyTable.h"
#include "platform/Log.h"
#include "transport/drivers/DeviceNotices.h"
#include "transport/drivers/UsbBackend.h"

namespace nivexa::transport {
namespace {

constexpr uint16_t kCameraVendorId = 0x04B4;
constexpr const char* kVendorIdsVariable = "NIVEXA_USB_VENDOR_IDS";
constexpr const char* kUsbSwitchVariable = "NIVEXA_USB";
constexpr int kCameraInterface = 0;
constexpr int kHexBase = 16;
constexpr unsigned kMaxVendorId = 0xFFFF;
// USB allows hubs seven deep.
constexpr size_t kMaxPortChain = 7;
constexpr uint8_t kDirectionIn = LIBUSB_ENDPOINT_IN;
constexpr uint32_t kMsPerSecond = 1000;
// The event thread looks at its stop flag at least this often, should a wake-up be missed.
constexpr long kEventPollUs = 100000;
constexpr uint32_t kStatusUnsuccessful = 0xC0000001;  // driver status of a failed transfer
constexpr uint32_t kUsbStatusStall = 0xC0000004;
// Bus speed codes the driver reports.
constexpr uint32_t kSpeedLowOrFull = 1;
constexpr uint32_t kSpeedHigh = 2;
constexpr uint32_t kSpeedSuper = 4;
constexpr size_t kSpeedBytes = 4;
constexpr int kByteBits = 8;

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string guidText(const Guid& g) {
  char text[40];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", g[0], g[1],
                g[2], g[3], g[4], g[5], g[6], g[7], g[8], g[9], g[10], g[11], g[12], g[13], g[14],
                g[15]);
  return text;
}

// The vendors whose devices may be cameras: the family's own, and those the environment adds
// for cameras built with another vendor ID.
std::vector<uint16_t> cameraVendors() {
  std::vector<uint16_t> vendors{kCameraVendorId};
  const char* listed = std::getenv(kVendorIdsVariable);
  if (listed == nullptr) {
    return vendors;
  }
  const char* at = listed;
  while (*at != '\0') {
    char* end = nullptr;
    const unsigned long id = std::strtoul(at, &end, kHexBase);
    if (end == at) {
      NIVEXA_LOG(Transport, Warning, "%s: \"%s\" is not a list of hexadecimal vendor IDs",
                 kVendorIdsVariable, listed);
      break;
    }
    if (id <= kMaxVendorId) {
      vendors.push_back(static_cast<uint16_t>(id));
    }
    at = end;
    while (*at == ',' || *at == ' ') {
      ++at;
    }
  }
  return vendors;
}

// "\\?\usb#vid_04b4&pid_33d0#1-2.3#{guid}": the instance is the bus and the chain of hub ports,
// so the path stays the same while the camera stays on its port.
std::optional<std::string> devicePath(libusb_device* device, const std::vector<uint16_t>& vendors) {
  libusb_device_descriptor d{};
  if (libusb_get_device_descriptor(device, &d) != LIBUSB_SUCCESS ||
      std::find(vendors.begin(), vendors.end(), d.idVendor) == vendors.end() ||
      family::findFamilyRow(d.idProduct) == nullptr) {
    return std::nullopt;
  }
  std::array<uint8_t, kMaxPortChain> ports{};
  const int depth = libusb_get_port_numbers(device, ports.data(), static_cast<int>(ports.size()));
  if (depth < 0) {
    return std::nullopt;
  }
  char head[40];
  std::snprintf(head, sizeof head, "\\\\?\\usb#vid_%04x&pid_%04x#%u-", d.idVendor, d.idProduct,
                libusb_get_bus_number(device));
  std::string path = head;
  // Appended piece by piece: GCC 12 at -O3 warns (falsely) about `"." + std::to_string(...)`.
  for (int i = 0; i < depth; ++i) {
    if (i > 0) {
      path += '.';
    }
    path += std::to_string(ports[i]);
  }
  return path + "#{" + guidText(kCameraInterfaceGuid) + "}";
}

struct DeviceListFree {
  void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
using DeviceList = std::unique_ptr<libusb_device*, DeviceListFree>;

DeviceList listDevices(libusb_context* context, ssize_t& count) {
  libusb_device** list = nullptr;
  count = libusb_get_device_list(context, &list);
  if (count < 0) {
    NIVEXA_LOG(Transport, Warning, "USB devices cannot be listed: %s",
               libusb_error_name(static_cast<int>(count)));
    count = 0;
    return nullptr;
  }
  return DeviceList(list);
}

uint32_t timeLimitMs(const DriverRecord& record, bool overlapped) {
  // An overlapped transfer without a limit waits for its data or its abort, like the kernel
  // driver's; libusb reads 0 as no limit too.
  const uint64_t seconds =
      record.timeLimitS != 0 || overlapped ? record.timeLimitS : LibusbBackend::kDefaultTimeLimitS;
  return static_cast<uint32_t>(std::min<uint64_t>(seconds * kMsPerSecond, UINT32_MAX));
}

void signal(Overlapped* overlapped, const IoResult& result) {
  if (overlapped != nullptr) {
    recordOutcome(*overlapped, result.bytesReturned, result.ok ? kErrorSuccess : result.error,
                  Notify::Event);
  }
}

}  // namespace

// One camera as libusb has it open, shared by every handle on it.
struct LibusbBackend::Device {
  Device(libusb_device_handle* opened, std::string name) : usb(opened), path(std::move(name)) {}
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  ~Device() {
    libusb_release_interface(usb, kCameraInterface);
    libusb_close(usb);
  }

  libusb_device_handle* const usb;
  const std::string path;
  std::atomic<bool> lost{false};
};

// One request on the bus: a control transfer, or a bulk transfer in one or more pieces of the
// caller's buffer. Its state is guarded by the backend's flightsMutex_.
struct LibusbBackend::Flight {
  Flight() = default;
  Flight(const Flight&) = delete;
  Flight& operator=(const Flight&) = delete;
  ~Flight() {
    for (libusb_transfer* t : transfers) {
      libusb_free_transfer(t);
    }
  }

  LibusbBackend* owner = nullptr;
  DeviceHandle handle = kInvalidDeviceHandle;
  std::shared_ptr<Device> device;
  uint8_t endpoint = 0;
  bool control = false;
  Overlapped* completion = nullptr;
  std::span<uint8_t> record;      // the caller's record: statuses go back into it
  std::span<uint8_t> recordCopy;  // a second copy of the record the caller reads, if any
  std::span<uint8_t> data;        // bulk: the caller's memory, used in place
  std::vector<uint8_t> setup;     // control: setup packet and data stage
  std::span<uint8_t> reply;       // control IN: where the data stage goes
  uint32_t extraBytes = 0;        // counted in the result besides the data
  uint32_t timeoutMs = 0;
  std::vector<libusb_transfer*> transfers;
  std::vector<bool> busy;
  size_t nextOffset = 0;       // bulk: the first byte no transfer has been given yet
  size_t shortEnd = SIZE_MAX;  // bulk: where the data ended early (a short transfer)
  uint32_t controlBytes = 0;
  bool stopped = false;  // nothing more is submitted
  uint32_t error = kErrorSuccess;
  uint32_t usbStatus = 0;

  size_t inFlight() const {
    return static_cast<size_t>(std::count(busy.begin(), busy.end(), true));
  }
};

void LibusbBackend::ContextExit::operator()(libusb_context* context) const {
  libusb_exit(context);
}

std::shared_ptr<Fx3Driver> makeUsbBackend() {
  const char* use = std::getenv(kUsbSwitchVariable);
  if (use != nullptr && std::strcmp(use, "0") == 0) {
    return nullptr;
  }
  return LibusbBackend::create();
}

std::shared_ptr<LibusbBackend> LibusbBackend::create() {
  libusb_context* context = nullptr;
  const int status = libusb_init(&context);
  if (status != LIBUSB_SUCCESS) {
    NIVEXA_LOG(Transport, Info, "USB cameras unavailable: libusb cannot start (%s)",
               libusb_error_name(status));
    return nullptr;
  }
  return std::shared_ptr<LibusbBackend>(new LibusbBackend(context));
}

LibusbBackend::LibusbBackend(libusb_context* context) : context_(context) {}

LibusbBackend::~LibusbBackend() {
  for (Opened& opened : handles_.removeAll()) {
    const Device* device = opened.device.get();
    abortWhere([device](const Request& r) { return r.device == device; });
  }
  std::unique_ptr<EventLoop> loop;
  {
    std::lock_guard lock(openMutex_);
    if (watching_) {
      libusb_hotplug_deregister_callback(context_.get(), hotplugHandle_);
      watching_ = false;
    }
    loop = stopEventsLocked();
  }
  if (loop) {
    loop->thread.join();
  }
}

std::vector<std::string> LibusbBackend::enumerate(const Guid& interfaceGuid) {
  std::vector<std::string> paths;
  if (interfaceGuid != kCameraInterfaceGuid) {
    return paths;
  }
  const std::vector<uint16_t> vendors = cameraVendors();
  ssize_t count = 0;
  DeviceList list = listDevices(context_.get(), count);
  for (ssize_t i = 0; i < count; ++i) {
    if (auto path = devicePath(list.get()[i], vendors)) {
      paths.push_back(*path);
    }
  }
  // The same camera on the same port is listed in the same place every time.
  std::sort(paths.begin(), paths.end());
  return paths;
}

DeviceHandle LibusbBackend::open(const std::string& path, bool overlapped) {
  std::lock_guard lock(openMutex_);
  const std::string key = lowerCase(path);
  std::shared_ptr<Device> device;
  if (auto known = devices_.find(key); known != devices_.end()) {
    device = known->second.lock();
  }
  if (device && device->lost) {
    return kInvalidDeviceHandle;
  }
  if (!device) {
    const std::vector<uint16_t> vendors = cameraVendors();
    ssize_t count = 0;
    DeviceList list = listDevices(context_.get(), count);
    libusb_device* match = nullptr;
    for (ssize_t i = 0; i < count && match == nullptr; ++i) {
      auto listed = devicePath(list.get()[i], vendors);
      if (listed && lowerCase(*listed) == key) {
        match = list.get()[i];
      }
    }
    if (match == nullptr) {
      return kInvalidDeviceHandle;
    }
    libusb_device_handle* usb = nullptr;
    int status = libusb_open(match, &usb);
    if (status == LIBUSB_SUCCESS) {
      // A kernel driver bound to the interface is set aside while the camera is ours, and
      // given the interface back when the last handle closes.
      libusb_set_auto_detach_kernel_driver(usb, 1);
      status = libusb_claim_interface(usb, kCameraInterface);
      if (status != LIBUSB_SUCCESS) {
        libusb_close(usb);
      }
    }
    if (status == LIBUSB_ERROR_ACCESS) {
      NIVEXA_LOG(Transport, Error,
                 "camera %s: permission denied on its USB device node; the udev rule "
                 "70-nivexa-camera.rules is missing (see \"Real cameras on Linux\" in the README)",
                 path.c_str());
      return kInvalidDeviceHandle;
    }
    if (status == LIBUSB_ERROR_BUSY) {
      NIVEXA_LOG(Transport, Warning, "camera %s is in use by another program", path.c_str());
      return kInvalidDeviceHandle;
    }
    if (status != LIBUSB_SUCCESS) {
      NIVEXA_LOG(Transport, Warning, "camera %s cannot be opened: %s", path.c_str(),
                 libusb_error_name(status));
      return kInvalidDeviceHandle;
    }
    device = std::make_shared<Device>(usb, path);
    devices_[key] = device;
  }
  startEventsLocked();
  ++openCount_;
  return handles_.add({std::move(device), overlapped});
}

void LibusbBackend::close(DeviceHandle handle) {
  std::unique_ptr<EventLoop> loop;
  {
    std::lock_guard lock(openMutex_);
    std::optional<Opened> closed = handles_.remove(handle);
    if (!closed) {
      return;
    }
    // The event thread still runs: it completes what is cancelled here.
    abortWhere([handle](const Request& r) { return r.handle == handle; });
    const std::string key = lowerCase(closed->device->path);
    closed.reset();
    if (auto known = devices_.find(key); known != devices_.end() && known->second.expired()) {
      devices_.erase(known);
    }
    if (--openCount_ == 0 && !watching_) {
      loop = stopEventsLocked();
    }
  }
  if (loop) {
    loop->thread.join();
  }
}

void LibusbBackend::watchDevices(bool on) {
  std::unique_ptr<EventLoop> loop;
  {
    std::lock_guard lock(openMutex_);
    if (on == watching_) {
      return;
    }
    if (on) {
      if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0) {
        NIVEXA_LOG(Transport, Info,
                   "USB cameras plugged in or out are not announced: this "
                   "libusb has no hot-plug support");
        return;
      }
      const int status = libusb_hotplug_register_callback(
          context_.get(), LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT,
          LIBUSB_HOTPLUG_NO_FLAGS, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
          LIBUSB_HOTPLUG_MATCH_ANY,
          [](libusb_context* c, libusb_device* d, libusb_hotplug_event e, void* self) {
            return onHotplug(c, d, static_cast<int>(e), self);
          },
          this, &hotplugHandle_);
      if (status != LIBUSB_SUCCESS) {
        NIVEXA_LOG(Transport, Warning, "USB hot-plug events unavailable: %s",
                   libusb_error_name(status));
        return;
      }
      watching_ = true;
      startEventsLocked();
    } else {
      // Waits for a callback in progress; the callback never takes openMutex_.
      libusb_hotplug_deregister_callback(context_.get(), hotplugHandle_);
      watching_ = false;
      if (openCount_ == 0) {
        loop = stopEventsLocked();
      }
    }
  }
  if (loop) {
    loop->thread.join();
  }
}

uint64_t LibusbBackend::eventThreadCpuNs() {
  std::lock_guard lock(openMutex_);
  return events_ ? events_->thread.cpuTimeNs() : 0;
}

int LibusbBackend::onHotplug(libusb_context* /*context*/, libusb_device* device, int event,
                             void* /*self*/) {
  // The descriptor and the port chain stay readable after the device left, so a removal names
  // the same path as the arrival did.
  if (auto path = devicePath(device, cameraVendors())) {
    const bool arrived = event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED;
    NIVEXA_LOG(Transport, Info, "camera %s %s", path->c_str(),
               arrived ? "plugged in" : "unplugged");
    announceDeviceChange(
        arrived ? platform::DeviceChange::Arrival : platform::DeviceChange::Removal, *path);
  }
  return 0;  // stay registered
}

void LibusbBackend::startEventsLocked() {
  if (events_) {
    return;
  }
  events_ = std::make_unique<EventLoop>();
  EventLoop* loop = events_.get();
  libusb_context* context = context_.get();
  loop->thread.start([loop, context] {
    while (!loop->stop.load()) {
      timeval limit{0, kEventPollUs};
      libusb_handle_events_timeout_completed(context, &limit, nullptr);
    }
  });
}

std::unique_ptr<LibusbBackend::EventLoop> LibusbBackend::stopEventsLocked() {
  if (events_) {
    events_->stop.store(true);
    libusb_interrupt_event_handler(context_.get());
  }
  return std::move(events_);
}

IoResult LibusbBackend::ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in,
                              std::span<uint8_t> out, Overlapped* overlapped) {
  const std::optional<Opened> found = handles_.find(handle);
  if (!found) {
    return {false, 0, kErrorInvalidHandle};
  }
  Device& device = *found->device;
  if (device.lost) {
    return {false, 0, kErrorDeviceNotConnected};
  }
  if (!found->overlapped && overlapped != nullptr) {
    // A synchronous handle completes every request before returning; the caller's record still
    // learns the outcome, so code written for overlapped handles works on it too.
    const IoResult r = ioctl(handle, code, in, out, nullptr);
    signal(overlapped, r);
    return r;
  }
  auto done = [&](int libusbStatus, uint32_t bytes) {
    const IoResult r = libusbStatus == LIBUSB_SUCCESS
                           ? IoResult{true, bytes, kErrorSuccess}
                           : IoResult{false, 0, driverError(device, libusbStatus)};
    signal(overlapped, r);
    return r;
  };
  switch (code) {
    case kIoctlVendorRequest:
    case kIoctlDirectTransfer:
    case kIoctlBufferedTransfer: {
      auto record = decodeDriverRecord(in);
      if (!record || !wellFormedRecord(code, *record, in.size(), out.size())) {
        return {false, 0, kErrorInvalidParameter};
      }
      return transferRequest(handle, *found, code, *record, in, out, overlapped);
    }
    case kIoctlAbortPipe: {
      if (in.empty()) {
        return {false, 0, kErrorInvalidParameter};
      }
      const uint8_t endpoint = in[0];
      abortWhere([&](const Request& r) { return r.device == &device && r.endpoint == endpoint; });
      return done(LIBUSB_SUCCESS, 0);
    }
    case kIoctlResetPipe:
      if (in.empty()) {
        return {false, 0, kErrorInvalidParameter};
      }
      return done(libusb_clear_halt(device.usb, in[0]), 0);
    case kIoctlResetPort: {
      abortWhere([&](const Request& r) { return r.device == &device; });
      const int status = libusb_reset_device(device.usb);
      // A device that comes back from the reset as another one has to be opened anew.
      return done(status == LIBUSB_ERROR_NOT_FOUND ? LIBUSB_ERROR_NO_DEVICE : status, 0);
    }
    case kIoctlBusSpeed: {
      if (out.size() < kSpeedBytes) {
        return {false, 0, kErrorInvalidParameter};
      }
      const int speed = libusb_get_device_speed(libusb_get_device(device.usb));
      const uint32_t code = speed >= LIBUSB_SPEED_SUPER  ? kSpeedSuper
                            : speed == LIBUSB_SPEED_HIGH ? kSpeedHigh
                                                         : kSpeedLowOrFull;
      for (size_t i = 0; i < kSpeedBytes; ++i) {
        out[i] = static_cast<uint8_t>(code >> (kByteBits * i));
      }
      return done(LIBUSB_SUCCESS, kSpeedBytes);
    }
    default:
      return {false, 0, kErrorInvalidParameter};
  }
}

IoResult LibusbBackend::transferRequest(DeviceHandle handle, const Opened& opened, uint32_t code,
                                        const DriverRecord& record, std::span<uint8_t> in,
                                        std::span<uint8_t> out, Overlapped* overlapped) {
  auto flight = std::make_unique<Flight>();
  flight->owner = this;
  flight->handle = handle;
  flight->device = opened.device;
  flight->record = in.first(DriverRecord::kSize);
  // A block request (vendor, buffered) returns the record at the head of its output too; a
  // direct transfer's output is data only.
  if (code != kIoctlDirectTransfer && out.data() != in.data()) {
    flight->recordCopy = out.first(DriverRecord::kSize);
  }
  flight->timeoutMs = timeLimitMs(record, overlapped != nullptr);
  if (code == kIoctlVendorRequest) {
    // The data stage is the block's data area; the record's length field counts the block.
    flight->control = true;
    flight->endpoint = 0;
    flight->extraBytes = DriverRecord::kSize;
    flight->timeoutMs = timeLimitMs(record, false);
    flight->setup.assign(LIBUSB_CONTROL_SETUP_SIZE + record.dataLength, 0);
    libusb_fill_control_setup(flight->setup.data(), record.requestType, record.request,
                              record.value, record.index, static_cast<uint16_t>(record.dataLength));
    if (record.requestType & kDirectionIn) {
      flight->reply = out.subspan(record.dataOffset, record.dataLength);
    } else {
      std::copy_n(in.begin() + record.dataOffset, record.dataLength,
                  flight->setup.begin() + LIBUSB_CONTROL_SETUP_SIZE);
    }
  } else {
    flight->endpoint = record.endpoint;
    const bool toHost = record.endpoint & kDirectionIn;
    if (code == kIoctlBufferedTransfer) {
      flight->data = (toHost ? out : in).subspan(record.dataOffset, record.dataLength);
      flight->extraBytes = record.dataOffset;
    } else {
      flight->data = out;
    }
  }
  return launch(std::move(flight), overlapped);
}

IoResult LibusbBackend::launch(std::unique_ptr<Flight> owned, Overlapped* overlapped) {
  Flight& flight = *owned;
  // A synchronous caller's completion record lives here, where the caller waits: the flight
  // itself goes as soon as it ended, possibly before the caller has read its outcome.
  platform::Event localEvent(platform::Event::Reset::Manual);
  Overlapped local(localEvent);
  Overlapped& completion = overlapped != nullptr ? *overlapped : local;
  completion.completed.store(false);
  flight.completion = &completion;
  const size_t pieces =
      flight.control ? 1
                     : std::clamp<size_t>((flight.data.size() + kChunkBytes - 1) / kChunkBytes, 1,
                                          kChunksInFlight);
  std::unique_ptr<Flight> ended;
  {
    // Registered under the lock that an abort takes, so that no abort can miss it.
    std::lock_guard lock(flightsMutex_);
    if (!pending_.add(completion, {&flight, flight.handle, flight.device.get(), flight.endpoint})) {
      return {false, 0, kErrorInvalidParameter};  // that record already carries a request
    }
    flights_.emplace(&flight, std::move(owned));
    for (size_t i = 0; i < pieces && !flight.stopped; ++i) {
      libusb_transfer* transfer = libusb_alloc_transfer(0);
      if (transfer == nullptr) {
        stopLocked(flight, kErrorGenFailure);
        break;
      }
      flight.transfers.push_back(transfer);
      flight.busy.push_back(false);
      submitLocked(flight, transfer);
    }
    ended = takeIfEndedLocked(flight);
  }
  if (ended) {
    // Refused before anything reached the bus: the return value tells the caller.
    return finish(std::move(ended), overlapped != nullptr ? Notify::Silently : Notify::Event);
  }
  if (overlapped != nullptr) {
    return {false, 0, kErrorIoPending};
  }
  // The transfer's own time limit ends it; the event thread then completes it here.
  return pending_.result(completion, true);
}

void LibusbBackend::submitLocked(Flight& flight, libusb_transfer* transfer) {
  const size_t slot =
      static_cast<size_t>(std::find(flight.transfers.begin(), flight.transfers.end(), transfer) -
                          flight.transfers.begin());
  if (flight.control) {
    libusb_fill_control_transfer(transfer, flight.device->usb, flight.setup.data(), onTransferDone,
                                 &flight, flight.timeoutMs);
  } else {
    const size_t length = std::min<size_t>(kChunkBytes, flight.data.size() - flight.nextOffset);
    libusb_fill_bulk_transfer(transfer, flight.device->usb, flight.endpoint,
                              flight.data.data() + flight.nextOffset, static_cast<int>(length),
                              onTransferDone, &flight, flight.timeoutMs);
    flight.nextOffset += length;
  }
  const int status = libusb_submit_transfer(transfer);
  if (status != LIBUSB_SUCCESS) {
    stopLocked(flight, driverError(*flight.device, status));
    return;
  }
  flight.busy[slot] = true;
}

void LibusbBackend::stopLocked(Flight& flight, uint32_t error) {
  if (!flight.stopped) {
    flight.stopped = true;
    flight.error = error;
  }
  for (size_t i = 0; i < flight.transfers.size(); ++i) {
    if (flight.busy[i]) {
      // Already done and on its way back, a transfer cannot be cancelled: it comes back anyway.
      libusb_cancel_transfer(flight.transfers[i]);
    }
  }
}

std::unique_ptr<LibusbBackend::Flight> LibusbBackend::takeIfEndedLocked(Flight& flight) {
  const bool allGiven = flight.control || flight.nextOffset >= flight.data.size();
  if (flight.inFlight() > 0 || !(flight.stopped || allGiven)) {
    return nullptr;
  }
  auto it = flights_.find(&flight);
  std::unique_ptr<Flight> taken = std::move(it->second);
  flights_.erase(it);
  return taken;
}

IoResult LibusbBackend::finish(std::unique_ptr<Flight> flight, Notify notify) {
  IoResult outcome{false, 0, flight->error};
  if (flight->error == kErrorSuccess) {
    uint32_t bytes = 0;
    if (flight->control) {
      bytes = flight->controlBytes;
      if (!flight->reply.empty()) {
        std::copy_n(flight->setup.begin() + LIBUSB_CONTROL_SETUP_SIZE,
                    std::min<size_t>(bytes, flight->reply.size()), flight->reply.begin());
      }
    } else {
      bytes = static_cast<uint32_t>(std::min(flight->shortEnd, flight->data.size()));
    }
    outcome = {true, bytes + flight->extraBytes, kErrorSuccess};
  }
  // The record's returned fields, in the caller's record and in the copy it reads back.
  const uint32_t driverStatus = outcome.ok ? 0 : kStatusUnsuccessful;
  if (!flight->recordCopy.empty()) {
    std::copy(flight->record.begin(), flight->record.end(), flight->recordCopy.begin());
    writeDriverStatus(flight->recordCopy, driverStatus, flight->usbStatus);
  }
  writeDriverStatus(flight->record, driverStatus, flight->usbStatus);
  // The device goes back to its handles before the caller learns of the end: a caller that then
  // closes the last handle closes the device on its own thread, never on the event thread, where
  // libusb cannot close it.
  flight->device.reset();
  pending_.end(
      *flight->completion, [&outcome](Request&) { return outcome; }, notify);
  return outcome;
}

void LibusbBackend::onTransferDone(libusb_transfer* transfer) {
  static_cast<Flight*>(transfer->user_data)->owner->transferDone(transfer);
}

void LibusbBackend::transferDone(libusb_transfer* transfer) {
  std::unique_ptr<Flight> ended;
  {
    std::lock_guard lock(flightsMutex_);
    Flight& flight = *static_cast<Flight*>(transfer->user_data);
    const size_t slot =
        static_cast<size_t>(std::find(flight.transfers.begin(), flight.transfers.end(), transfer) -
                            flight.transfers.begin());
    flight.busy[slot] = false;
    switch (transfer->status) {
      case LIBUSB_TRANSFER_COMPLETED:
        if (flight.control) {
          flight.controlBytes = static_cast<uint32_t>(transfer->actual_length);
        } else if (transfer->actual_length < transfer->length) {
          // A short transfer ends the data: what the pieces after it hold is not part of it.
          const auto offset = static_cast<size_t>(transfer->buffer - flight.data.data());
          flight.shortEnd =
              std::min(flight.shortEnd, offset + static_cast<size_t>(transfer->actual_length));
          stopLocked(flight, kErrorSuccess);
        } else if (!flight.stopped && flight.nextOffset < flight.data.size()) {
          submitLocked(flight, transfer);
        }
        break;
      case LIBUSB_TRANSFER_CANCELLED:
        // Cancelled here, for a reason the flight already carries (an abort, a short piece).
        break;
      case LIBUSB_TRANSFER_TIMED_OUT:
        stopLocked(flight, kErrorSemTimeout);
        break;
      case LIBUSB_TRANSFER_STALL:
        flight.usbStatus = kUsbStatusStall;
        stopLocked(flight, kErrorGenFailure);
        break;
      case LIBUSB_TRANSFER_NO_DEVICE:
        stopLocked(flight, driverError(*flight.device, LIBUSB_ERROR_NO_DEVICE));
        break;
      default:
        NIVEXA_LOG(Transport, Warning, "camera %s: transfer on endpoint 0x%02X failed (status %d)",
                   flight.device->path.c_str(), flight.endpoint, transfer->status);
        stopLocked(flight, kErrorGenFailure);
        break;
    }
    ended = takeIfEndedLocked(flight);
  }
  if (ended) {
    finish(std::move(ended), Notify::Event);
  }
}

void LibusbBackend::abortWhere(const std::function<bool(const Request&)>& matches) {
  {
    std::lock_guard lock(flightsMutex_);
    for (auto& [address, flight] : flights_) {
      const Request request{address, flight->handle, flight->device.get(), flight->endpoint};
      if (matches(request)) {
        // An abort overrides whatever else had already stopped the flight.
        flight->error = kErrorOperationAborted;
        stopLocked(*flight, kErrorOperationAborted);
      }
    }
  }
  pending_.waitUntilNone(matches);
}

uint32_t LibusbBackend::driverError(Device& device, int libusbError) {
  switch (libusbError) {
    case LIBUSB_ERROR_NO_DEVICE:
      if (!device.lost.exchange(true)) {
        NIVEXA_LOG(Transport, Warning, "camera %s has gone from the bus", device.path.c_str());
      }
      return kErrorDeviceNotConnected;
    case LIBUSB_ERROR_TIMEOUT:
      return kErrorSemTimeout;
    case LIBUSB_ERROR_INVALID_PARAM:
      return kErrorInvalidParameter;
    case LIBUSB_ERROR_INTERRUPTED:
      return kErrorOperationAborted;
    case LIBUSB_ERROR_ACCESS:
      NIVEXA_LOG(Transport, Error,
                 "camera %s: permission denied; the udev rule 70-nivexa-camera.rules is missing "
                 "(see \"Real cameras on Linux\" in the README)",
                 device.path.c_str());
      return kErrorGenFailure;
    default:
      return kErrorGenFailure;
  }
}

IoResult LibusbBackend::overlappedResult(DeviceHandle /*handle*/, Overlapped& overlapped,
                                         bool wait) {
  return pending_.result(overlapped, wait);
}

}  // namespace nivexa::transport

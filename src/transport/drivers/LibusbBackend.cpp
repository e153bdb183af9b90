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
#include "transport/drivers/CameraVendors.h"
#include "transport/drivers/DeviceNotices.h"
#include "transport/drivers/LibusbRecords.h"
#include "transport/drivers/UsbBackend.h"

namespace nivexa::transport {
namespace {

constexpr const char* kUsbSwitchVariable = "NIVEXA_USB";
// USB allows hubs seven deep.
constexpr size_t kMaxPortChain = 7;
// The event thread looks at its stop flag at least this often, should a wake-up be missed.
constexpr long kEventPollUs = 100000;

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

}  // namespace

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
      status = libusb_claim_interface(usb, kLibusbCameraInterface);
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

}  // namespace nivexa::transport

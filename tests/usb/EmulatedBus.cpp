#include "usb/EmulatedBus.h"

#include <linux/ioctl.h>
#include <linux/usb/ch9.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <utility>

#include "sim/Fx3FirmwareMap.h"
#include "usb/UsbDescriptors.h"

namespace nivexa::usbtest {
namespace {

using Clock = sim::Camera::Clock;

// What a SuperSpeed host controller's usbfs offers: with scatter-gather, libusb hands over each
// bulk transfer as one URB whatever its size.
constexpr uint32_t kCapabilities =
    USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
    USBDEVFS_CAP_BULK_SCATTER_GATHER | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
// The descriptor the preload hands the client always polls ready, so libusb asks to reap again
// as soon as a reap came back empty. An empty non-blocking reap therefore waits this long for a
// completion before it answers EAGAIN, which turns that spin into a wait. It holds up the
// client's other threads' requests on the device as long (the preload serialises them).
constexpr guint kEmptyReapWaitMs = 1;
constexpr size_t kSetupSize = 8;  // the setup packet at the head of a control URB's buffer
constexpr long kFailed = -1;
constexpr int kSuperSpeedMbps = 5000;
constexpr int kFirstDeviceNumber = 2;  // 1 is the root hub's address
constexpr unsigned kDescriptorTypeShift = 8;
constexpr uint16_t kDescriptorIndexMask = 0xFF;
constexpr uint32_t kStatusBytes = 2;
constexpr int kByteBits = 8;
constexpr size_t kMaxUrbTimings = 1U << 20;  // a benchmark's worth; later ones are not kept

std::span<uint8_t> bytesOf(UMockdevIoctlData* data) {
  if (data == nullptr || data->data == nullptr) {
    return {};
  }
  return {data->data, static_cast<size_t>(data->data_len)};
}

// usbfs records are the kernel's native-endian structs; fields are read and written one by one
// at their offsets in the resolved copy, never by overlaying the struct.
template <class T>
std::optional<T> readField(UMockdevIoctlData* data, size_t offset) {
  std::span<uint8_t> bytes = bytesOf(data);
  if (offset + sizeof(T) > bytes.size()) {
    return std::nullopt;
  }
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

template <class T>
void writeField(UMockdevIoctlData* data, size_t offset, T value) {
  std::array<guint8, sizeof(T)> bytes;
  std::memcpy(bytes.data(), &value, sizeof value);
  umockdev_ioctl_data_update(data, offset, bytes.data(), static_cast<gint>(bytes.size()));
}

// The client memory a pointer at `offset` of `parent` points to, as a local copy that flows back
// when the request completes. Null for a null pointer or a client that went away.
GRef<UMockdevIoctlData> resolve(UMockdevIoctlData* parent, size_t offset, size_t length) {
  GError* error = nullptr;
  UMockdevIoctlData* child = umockdev_ioctl_data_resolve(parent, offset, length, &error);
  if (error != nullptr) {
    std::fprintf(stderr, "nivexa-usb-emulator: client memory unreadable: %s\n", error->message);
    g_error_free(error);
  }
  return GRef<UMockdevIoctlData>(child);
}

uint16_t wireU16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << kByteBits));
}

sim::Camera::ControlSetup decodeSetup(std::span<const uint8_t> packet) {
  constexpr size_t kValue = 2;
  constexpr size_t kIndex = 4;
  constexpr size_t kLength = 6;
  return {packet[0], packet[1], wireU16(packet, kValue), wireU16(packet, kIndex),
          wireU16(packet, kLength)};
}

std::string hex(std::span<const uint8_t> bytes) {
  std::string text;
  for (uint8_t b : bytes) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", b);
    text += digits;
  }
  return text;
}

}  // namespace

// One camera on the bus: its sysfs entry, its device node, and the usbfs requests of every
// client that opened the node. All request handling runs on the testbed's ioctl thread; the
// camera's listeners only schedule work there.
class EmulatedDevice : public std::enable_shared_from_this<EmulatedDevice> {
 public:
  EmulatedDevice(const sim::CameraOptions& options, int port, double wireBytesPerSecond)
      : camera_(options),
        wireBytesPerSecond_(wireBytesPerSecond),
        port_(port),
        deviceNumber_(kFirstDeviceNumber + port - 1),
        handler_(umockdev_ioctl_base_new()),
        device_(deviceDescriptor(options)),
        configuration_(configurationDescriptor()) {
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", kBusNumber, deviceNumber_);
    devnode_ = node;
  }

  bool attach(UMockdevTestbed* testbed);
  void detach();
  sim::Camera& camera() { return camera_; }
  std::string sysfsPath() const;
  std::string sysfsRecord() const;
  // Bulk IN transfers of the frame endpoint as the device saw them, for benchmarks: when each
  // was submitted and when its data was complete. Taken and cleared.
  std::vector<UrbTiming> takeFrameUrbTimings();
  // Another program claimed the interface: claims fail as usbfs fails them then.
  void holdElsewhere(bool held) { heldElsewhere_ = held; }

 private:
  struct Urb {
    GRef<UMockdevIoctlData> record;  // the client's usbdevfs_urb, handed back when reaped
    GRef<UMockdevIoctlData> buffer;
    uint8_t type = 0;
    uint8_t endpoint = 0;
    int32_t status = 0;
    int32_t actualLength = 0;
    Clock::time_point submitted;
    Clock::time_point acrossWire;  // when its bytes have crossed the wire; unset until it starts
  };
  struct Client {
    GRef<UMockdevIoctlClient> client;
    // Claims are not exclusive between descriptors as the kernel's are: a descriptor's close
    // reaches the testbed asynchronously, after a later open's requests may have.
    bool claimed = false;
    std::deque<Urb> inFlight;  // in submission order
    std::deque<Urb> reapable;
    GRef<UMockdevIoctlData> parkedReap;  // the pointer slot of a reap waiting for a completion
    GSource* parkTimer = nullptr;
  };
  // Keeps the device alive for a scheduled callback.
  struct Callback {
    std::shared_ptr<EmulatedDevice> device;
    UMockdevIoctlClient* client = nullptr;
  };

  static gboolean onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
  static gboolean onWake(gpointer callback);
  static gboolean onRetry(gpointer callback);
  static gboolean onParkTimeout(gpointer callback);
  static void freeCallback(gpointer callback) { delete static_cast<Callback*>(callback); }

  GSource* schedule(GSource* source, GSourceFunc function, UMockdevIoctlClient* client);
  void forgetClosedClients();
  Client& clientState(UMockdevIoctlClient* client);
  bool handle(UMockdevIoctlClient* client);
  bool claim(Client& state, UMockdevIoctlData* arg, bool release);
  bool controlRequest(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  bool submit(Client& state, UMockdevIoctlData* arg);
  bool reap(Client& state, UMockdevIoctlData* arg, bool wait);
  bool discard(Client& state, UMockdevIoctlData* arg);
  std::optional<uint32_t> control(const sim::Camera::ControlSetup& setup, std::span<uint8_t> data);
  bool attempt(Urb& urb, Clock::time_point& next);
  void handBack(Client& state, UMockdevIoctlData* slot);
  void answerParked(Client& state);
  void wake();
  void pump();

  sim::Camera camera_;
  const double wireBytesPerSecond_;
  Clock::time_point wireFree_;  // when the frame endpoint's wire is free for the next transfer
  const int port_;
  const int deviceNumber_;
  std::string devnode_;
  GRef<UMockdevIoctlBase> handler_;
  const std::vector<uint8_t> device_;
  const std::vector<uint8_t> configuration_;
  int listener_ = 0;

  std::mutex wakeMutex_;
  GMainContext* context_ = nullptr;  // the testbed's ioctl thread; set by its first request
  bool wakeQueued_ = false;
  bool stopped_ = false;

  // Touched on the ioctl thread only.
  std::map<UMockdevIoctlClient*, Client> clients_;
  GSource* retryTimer_ = nullptr;

  std::atomic<bool> heldElsewhere_{false};
  std::mutex timingMutex_;
  std::vector<UrbTiming> frameUrbTimings_;
};

std::vector<UrbTiming> EmulatedDevice::takeFrameUrbTimings() {
  std::lock_guard lock(timingMutex_);
  return std::exchange(frameUrbTimings_, {});
}

std::string EmulatedDevice::sysfsPath() const {
  return "/sys/devices/usb" + std::to_string(kBusNumber) + "/" + std::to_string(kBusNumber) + "-" +
         std::to_string(port_);
}

std::string EmulatedDevice::sysfsRecord() const {
  const sim::CameraOptions& o = camera_.options();
  std::vector<uint8_t> descriptors = device_;
  descriptors.insert(descriptors.end(), configuration_.begin(), configuration_.end());
  char head[512];
  std::snprintf(head, sizeof head,
                "P: /devices/usb%d/%d-%d\n"
                "N: bus/usb/%03d/%03d\n"
                "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
                "E: BUSNUM=%03d\nE: DEVNUM=%03d\nE: DEVNAME=%s\n"
                "A: idVendor=%04x\\n\nA: idProduct=%04x\\n\nA: bcdDevice=%04x\\n\n"
                "A: busnum=%d\\n\nA: devnum=%d\\n\nA: speed=%d\\n\n"
                "A: bConfigurationValue=%d\\n\nA: bNumConfigurations=1\\n\n",
                kBusNumber, kBusNumber, port_, kBusNumber, deviceNumber_, kBusNumber, deviceNumber_,
                devnode_.c_str(), o.vendorId, o.productId, o.firmwareVersion, kBusNumber,
                deviceNumber_, kSuperSpeedMbps, kConfigurationValue);
  return std::string(head) + "A: serial=" + o.serial + "\\n\nH: descriptors=" + hex(descriptors) +
         "\n";
}

bool EmulatedDevice::attach(UMockdevTestbed* testbed) {
  g_signal_connect(handler_.get(), "handle-ioctl", G_CALLBACK(onIoctl), this);
  GError* error = nullptr;
  // The handler goes first, so that a client seeing the device can already open it.
  if (!umockdev_testbed_attach_ioctl(testbed, devnode_.c_str(), handler_.get(), &error) ||
      !umockdev_testbed_add_from_string(testbed, sysfsRecord().c_str(), &error)) {
    std::fprintf(stderr, "nivexa-usb-emulator: %s: %s\n", devnode_.c_str(),
                 error != nullptr ? error->message : "not added");
    if (error != nullptr) {
      g_error_free(error);
    }
    return false;
  }
  listener_ = camera_.addListener([weak = weak_from_this()] {
    if (auto self = weak.lock()) {
      self->wake();
    }
  });
  return true;
}

void EmulatedDevice::detach() {
  camera_.removeListener(listener_);
  std::lock_guard lock(wakeMutex_);
  stopped_ = true;
}

GSource* EmulatedDevice::schedule(GSource* source, GSourceFunc function,
                                  UMockdevIoctlClient* client) {
  g_source_set_callback(source, function, new Callback{shared_from_this(), client}, freeCallback);
  g_source_attach(source, context_);
  g_source_unref(source);  // the context keeps it until it ran or was destroyed
  return source;
}

void EmulatedDevice::wake() {
  std::lock_guard lock(wakeMutex_);
  if (context_ == nullptr || wakeQueued_ || stopped_) {
    return;
  }
  wakeQueued_ = true;
  // Always deferred: the camera calls its listeners from inside requests this thread serves.
  schedule(g_idle_source_new(), onWake, nullptr);
}

gboolean EmulatedDevice::onWake(gpointer callback) {
  EmulatedDevice& self = *static_cast<Callback*>(callback)->device;
  {
    std::lock_guard lock(self.wakeMutex_);
    self.wakeQueued_ = false;
  }
  self.pump();
  return G_SOURCE_REMOVE;
}

gboolean EmulatedDevice::onRetry(gpointer callback) {
  EmulatedDevice& self = *static_cast<Callback*>(callback)->device;
  self.retryTimer_ = nullptr;
  self.pump();
  return G_SOURCE_REMOVE;
}

gboolean EmulatedDevice::onParkTimeout(gpointer callback) {
  auto* c = static_cast<Callback*>(callback);
  auto it = c->device->clients_.find(c->client);
  if (it != c->device->clients_.end()) {
    Client& state = it->second;
    state.parkTimer = nullptr;
    if (state.parkedReap) {
      state.parkedReap.reset();
      umockdev_ioctl_client_complete(state.client.get(), kFailed, EAGAIN);
    }
  }
  return G_SOURCE_REMOVE;
}

void EmulatedDevice::forgetClosedClients() {
  // A closed descriptor takes its URBs with it. umockdev tells of the close only through the
  // client's state, so it is looked at whenever the device does anything.
  for (auto it = clients_.begin(); it != clients_.end();) {
    if (umockdev_ioctl_client_get_connected(it->first)) {
      ++it;
      continue;
    }
    if (it->second.parkTimer != nullptr) {
      g_source_destroy(it->second.parkTimer);
    }
    it = clients_.erase(it);
  }
}

EmulatedDevice::Client& EmulatedDevice::clientState(UMockdevIoctlClient* client) {
  auto it = clients_.find(client);
  if (it != clients_.end()) {
    return it->second;
  }
  Client& state = clients_[client];
  state.client.reset(static_cast<UMockdevIoctlClient*>(g_object_ref(client)));
  return state;
}

gboolean EmulatedDevice::onIoctl(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client,
                                 gpointer self) {
  return static_cast<EmulatedDevice*>(self)->handle(client);
}

bool EmulatedDevice::handle(UMockdevIoctlClient* client) {
  {
    std::lock_guard lock(wakeMutex_);
    context_ = g_main_context_get_thread_default();
  }
  forgetClosedClients();
  Client& state = clientState(client);
  const gulong request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  auto answer = [&](long result) {
    umockdev_ioctl_client_complete(client, result, 0);
    return true;
  };
  auto fail = [&](int error) {
    umockdev_ioctl_client_complete(client, kFailed, error);
    return true;
  };
  const bool reaping = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
  // After a disconnect usbfs still reaps and discards what was submitted; nothing else.
  if (!camera_.plugged() && !reaping && request != USBDEVFS_DISCARDURB &&
      request != USBDEVFS_RELEASEINTERFACE) {
    return fail(ENODEV);
  }
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      GRef<UMockdevIoctlData> caps = resolve(arg, 0, sizeof(uint32_t));
      if (!caps) {
        return fail(EFAULT);
      }
      writeField<uint32_t>(caps.get(), 0, kCapabilities);
      return answer(0);
    }
    case USBDEVFS_GET_SPEED:
      return answer(USB_SPEED_SUPER);
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM:  // no driver is ever bound: nothing to disconnect first
      return claim(state, arg, false);
    case USBDEVFS_RELEASEINTERFACE:
      return claim(state, arg, true);
    case USBDEVFS_SETINTERFACE: {
      GRef<UMockdevIoctlData> set = resolve(arg, 0, sizeof(usbdevfs_setinterface));
      auto interface = readField<uint32_t>(set.get(), offsetof(usbdevfs_setinterface, interface));
      auto alternate = readField<uint32_t>(set.get(), offsetof(usbdevfs_setinterface, altsetting));
      if (!interface || !alternate) {
        return fail(EFAULT);
      }
      return *interface == kInterfaceNumber && *alternate == 0 ? answer(0) : fail(EINVAL);
    }
    case USBDEVFS_SETCONFIGURATION: {
      GRef<UMockdevIoctlData> value = resolve(arg, 0, sizeof(int32_t));
      auto configuration = readField<int32_t>(value.get(), 0);
      if (!configuration) {
        return fail(EFAULT);
      }
      return *configuration == kConfigurationValue ? answer(0) : fail(EINVAL);
    }
    case USBDEVFS_GETDRIVER:
      return fail(ENODATA);
    case USBDEVFS_IOCTL: {
      GRef<UMockdevIoctlData> command = resolve(arg, 0, sizeof(usbdevfs_ioctl));
      auto code = readField<int32_t>(command.get(), offsetof(usbdevfs_ioctl, ioctl_code));
      if (!code) {
        return fail(EFAULT);
      }
      if (static_cast<uint32_t>(*code) == USBDEVFS_DISCONNECT) {
        return fail(ENODATA);  // no driver bound
      }
      return static_cast<uint32_t>(*code) == USBDEVFS_CONNECT ? answer(0) : fail(ENOTTY);
    }
    case USBDEVFS_CONTROL:
      return controlRequest(client, arg);
    case USBDEVFS_SUBMITURB:
      return submit(state, arg);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      return reap(state, arg, request == USBDEVFS_REAPURB);
    case USBDEVFS_DISCARDURB:
      return discard(state, arg);
    case USBDEVFS_CLEAR_HALT: {
      GRef<UMockdevIoctlData> value = resolve(arg, 0, sizeof(uint32_t));
      auto endpoint = readField<uint32_t>(value.get(), 0);
      if (!endpoint) {
        return fail(EFAULT);
      }
      camera_.resetPipe(static_cast<uint8_t>(*endpoint));
      return answer(0);
    }
    case USBDEVFS_RESETEP:
      return answer(0);
    case USBDEVFS_RESET:
      camera_.resetPort();
      return answer(0);
    default:
      return fail(ENOTTY);
  }
}

bool EmulatedDevice::claim(Client& state, UMockdevIoctlData* arg, bool release) {
  GRef<UMockdevIoctlData> value = resolve(arg, 0, sizeof(uint32_t));
  auto interface = readField<uint32_t>(value.get(), 0);
  int error = 0;
  if (!interface) {
    error = EFAULT;
  } else if (*interface != kInterfaceNumber) {
    error = ENOENT;
  } else if (release && !state.claimed) {
    error = EINVAL;
  } else if (!release && heldElsewhere_) {
    error = EBUSY;
  } else {
    state.claimed = !release;
  }
  umockdev_ioctl_client_complete(state.client.get(), error == 0 ? 0 : kFailed, error);
  return true;
}

std::optional<uint32_t> EmulatedDevice::control(const sim::Camera::ControlSetup& setup,
                                                std::span<uint8_t> data) {
  if ((setup.requestType & USB_TYPE_MASK) != USB_TYPE_STANDARD) {
    sim::Camera::ControlResult result = camera_.control(setup, data);
    return result.ok ? std::optional<uint32_t>(result.count) : std::nullopt;
  }
  // The FX3's boot code answers the standard requests; the camera model knows only its own.
  data = data.first(std::min<size_t>(setup.length, data.size()));
  auto send = [&](std::span<const uint8_t> bytes) {
    size_t n = std::min(bytes.size(), data.size());
    std::copy_n(bytes.begin(), n, data.begin());
    return static_cast<uint32_t>(n);
  };
  switch (setup.request) {
    case USB_REQ_GET_DESCRIPTOR: {
      const unsigned type = setup.value >> kDescriptorTypeShift;
      const unsigned index = setup.value & kDescriptorIndexMask;
      if (type == kDescriptorDevice) {
        return send(device_);
      }
      if (type == kDescriptorConfiguration && index == 0) {
        return send(configuration_);
      }
      return std::nullopt;
    }
    case USB_REQ_GET_STATUS: {
      std::array<uint8_t, kStatusBytes> status{};
      return send(status);
    }
    case USB_REQ_GET_CONFIGURATION: {
      std::array<uint8_t, 1> value{kConfigurationValue};
      return send(value);
    }
    case USB_REQ_SET_CONFIGURATION:
    case USB_REQ_SET_INTERFACE:
    case USB_REQ_CLEAR_FEATURE:
    case USB_REQ_SET_FEATURE:
      return 0;
    default:
      return std::nullopt;
  }
}

bool EmulatedDevice::controlRequest(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  GRef<UMockdevIoctlData> record = resolve(arg, 0, sizeof(usbdevfs_ctrltransfer));
  auto type = readField<uint8_t>(record.get(), offsetof(usbdevfs_ctrltransfer, bRequestType));
  auto request = readField<uint8_t>(record.get(), offsetof(usbdevfs_ctrltransfer, bRequest));
  auto value = readField<uint16_t>(record.get(), offsetof(usbdevfs_ctrltransfer, wValue));
  auto index = readField<uint16_t>(record.get(), offsetof(usbdevfs_ctrltransfer, wIndex));
  auto length = readField<uint16_t>(record.get(), offsetof(usbdevfs_ctrltransfer, wLength));
  if (!type || !request || !value || !index || !length) {
    umockdev_ioctl_client_complete(client, kFailed, EFAULT);
    return true;
  }
  GRef<UMockdevIoctlData> stage;
  if (*length > 0) {
    stage = resolve(record.get(), offsetof(usbdevfs_ctrltransfer, data), *length);
    if (!stage) {
      umockdev_ioctl_client_complete(client, kFailed, EFAULT);
      return true;
    }
  }
  std::optional<uint32_t> count =
      control({*type, *request, *value, *index, *length}, bytesOf(stage.get()));
  if (!count) {
    umockdev_ioctl_client_complete(client, kFailed, camera_.plugged() ? EPIPE : ENODEV);
  } else {
    umockdev_ioctl_client_complete(client, static_cast<long>(*count), 0);
  }
  return true;
}

bool EmulatedDevice::submit(Client& state, UMockdevIoctlData* arg) {
  UMockdevIoctlClient* client = state.client.get();
  auto fail = [&](int error) {
    umockdev_ioctl_client_complete(client, kFailed, error);
    return true;
  };
  Urb urb;
  urb.record = resolve(arg, 0, sizeof(usbdevfs_urb));
  UMockdevIoctlData* record = urb.record.get();
  auto type = readField<uint8_t>(record, offsetof(usbdevfs_urb, type));
  auto endpoint = readField<uint8_t>(record, offsetof(usbdevfs_urb, endpoint));
  auto length = readField<int32_t>(record, offsetof(usbdevfs_urb, buffer_length));
  if (!type || !endpoint || !length) {
    return fail(EFAULT);
  }
  if (*length < 0) {
    return fail(EINVAL);
  }
  urb.type = *type;
  urb.endpoint = *endpoint;
  if (*length > 0) {
    urb.buffer = resolve(record, offsetof(usbdevfs_urb, buffer), static_cast<size_t>(*length));
    if (!urb.buffer) {
      return fail(EFAULT);
    }
  }
  switch (urb.type) {
    case USBDEVFS_URB_TYPE_CONTROL:
      if (static_cast<size_t>(*length) < kSetupSize) {
        return fail(EINVAL);
      }
      break;
    case USBDEVFS_URB_TYPE_BULK:
      if (urb.endpoint != sim::fx3::kFrameEndpoint && urb.endpoint != sim::fx3::kCommandEndpoint) {
        return fail(ENOENT);
      }
      break;
    default:
      return fail(EINVAL);  // the camera has no interrupt or isochronous endpoints
  }
  urb.submitted = Clock::now();
  state.inFlight.push_back(std::move(urb));
  // The URB moves on in a later turn, after this request's own copy went back to the client.
  wake();
  umockdev_ioctl_client_complete(client, 0, 0);
  return true;
}

bool EmulatedDevice::reap(Client& state, UMockdevIoctlData* arg, bool wait) {
  GRef<UMockdevIoctlData> slot = resolve(arg, 0, sizeof(void*));
  if (!slot) {
    umockdev_ioctl_client_complete(state.client.get(), kFailed, EFAULT);
    return true;
  }
  state.parkedReap = std::move(slot);
  if (!wait && state.reapable.empty()) {
    state.parkTimer =
        schedule(g_timeout_source_new(kEmptyReapWaitMs), onParkTimeout, state.client.get());
  }
  answerParked(state);
  return true;
}

bool EmulatedDevice::discard(Client& state, UMockdevIoctlData* arg) {
  // The request's argument is the URB's address in the client itself.
  auto address = readField<gulong>(arg, 0);
  auto it = std::find_if(state.inFlight.begin(), state.inFlight.end(), [&](const Urb& urb) {
    return address && urb.record->client_addr == *address;
  });
  if (it == state.inFlight.end()) {
    // Already completed (or never submitted): usbfs says so, and the client reaps it as it is.
    umockdev_ioctl_client_complete(state.client.get(), kFailed, EINVAL);
    return true;
  }
  it->status = -ENOENT;
  it->actualLength = 0;
  state.reapable.push_back(std::move(*it));
  state.inFlight.erase(it);
  umockdev_ioctl_client_complete(state.client.get(), 0, 0);
  return true;
}

void EmulatedDevice::handBack(Client& state, UMockdevIoctlData* slot) {
  Urb urb = std::move(state.reapable.front());
  state.reapable.pop_front();
  writeField<int32_t>(urb.record.get(), offsetof(usbdevfs_urb, status), urb.status);
  writeField<int32_t>(urb.record.get(), offsetof(usbdevfs_urb, actual_length), urb.actualLength);
  // The client learns which URB completed from the pointer; the URB's fields and its buffer
  // flow back along with it.
  umockdev_ioctl_data_set_ptr(slot, 0, urb.record.get());
}

void EmulatedDevice::answerParked(Client& state) {
  if (!state.parkedReap) {
    return;
  }
  long result = 0;
  int error = 0;
  if (!state.reapable.empty()) {
    handBack(state, state.parkedReap.get());
  } else if (!camera_.plugged() && state.inFlight.empty()) {
    result = kFailed;
    error = ENODEV;
  } else {
    return;  // still waiting
  }
  state.parkedReap.reset();
  if (state.parkTimer != nullptr) {
    g_source_destroy(state.parkTimer);
    state.parkTimer = nullptr;
  }
  umockdev_ioctl_client_complete(state.client.get(), result, error);
}

bool EmulatedDevice::attempt(Urb& urb, Clock::time_point& next) {
  std::span<uint8_t> buffer = bytesOf(urb.buffer.get());
  if (urb.type == USBDEVFS_URB_TYPE_CONTROL) {
    std::optional<uint32_t> count =
        control(decodeSetup(buffer.first(kSetupSize)), buffer.subspan(kSetupSize));
    urb.status = count ? 0 : (camera_.plugged() ? -EPIPE : -ESHUTDOWN);
    urb.actualLength = static_cast<int32_t>(count.value_or(0));
    return true;
  }
  if (wireBytesPerSecond_ > 0 && urb.endpoint == sim::fx3::kFrameEndpoint) {
    // Transfers of one endpoint cross the wire one after the other, each at the wire's rate.
    const Clock::time_point now = Clock::now();
    if (urb.acrossWire == Clock::time_point{}) {
      const std::chrono::duration<double> crossing(static_cast<double>(buffer.size()) /
                                                   wireBytesPerSecond_);
      urb.acrossWire =
          std::max(now, wireFree_) + std::chrono::duration_cast<Clock::duration>(crossing);
      wireFree_ = urb.acrossWire;
    }
    if (now < urb.acrossWire) {
      next = std::min(next, urb.acrossWire);
      return false;
    }
  }
  sim::Camera::BulkResult result = camera_.bulk(urb.endpoint, buffer);
  switch (result.status) {
    case sim::Camera::BulkStatus::Done:
      urb.status = result.usbStatus != 0 ? -EPIPE : 0;
      urb.actualLength = result.usbStatus != 0 ? 0 : static_cast<int32_t>(result.bytes);
      return true;
    case sim::Camera::BulkStatus::Gone:
      urb.status = -ESHUTDOWN;
      urb.actualLength = 0;
      return true;
    case sim::Camera::BulkStatus::Pending:
      next = std::min(next, result.retryAt);
      return false;
  }
  return false;
}

void EmulatedDevice::pump() {
  forgetClosedClients();
  Clock::time_point next = Clock::time_point::max();
  for (auto& [key, state] : clients_) {
    // An endpoint's URBs complete in the order they were submitted.
    std::vector<uint8_t> waiting;
    for (auto it = state.inFlight.begin(); it != state.inFlight.end();) {
      if (std::find(waiting.begin(), waiting.end(), it->endpoint) != waiting.end()) {
        ++it;
      } else if (attempt(*it, next)) {
        if (it->type == USBDEVFS_URB_TYPE_BULK && it->endpoint == sim::fx3::kFrameEndpoint) {
          std::lock_guard lock(timingMutex_);
          if (frameUrbTimings_.size() < kMaxUrbTimings) {
            frameUrbTimings_.push_back({it->submitted, Clock::now(), it->actualLength});
          }
        }
        state.reapable.push_back(std::move(*it));
        it = state.inFlight.erase(it);
      } else {
        waiting.push_back(it->endpoint);
        ++it;
      }
    }
    answerParked(state);
  }
  if (retryTimer_ != nullptr) {
    g_source_destroy(retryTimer_);
    retryTimer_ = nullptr;
  }
  if (next != Clock::time_point::max()) {
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
    retryTimer_ =
        schedule(g_timeout_source_new(static_cast<guint>(std::max<int64_t>(0, wait.count()))),
                 onRetry, nullptr);
  }
}

EmulatedBus::EmulatedBus(const std::vector<sim::CameraOptions>& cameras, double wireBytesPerSecond)
    : testbed_(umockdev_testbed_new()) {
  gchar* root = umockdev_testbed_get_root_dir(testbed_.get());
  rootDir_ = root;
  g_free(root);
  for (size_t i = 0; i < cameras.size(); ++i) {
    auto device =
        std::make_shared<EmulatedDevice>(cameras[i], static_cast<int>(i) + 1, wireBytesPerSecond);
    if (!device->attach(testbed_.get())) {
      rootDir_.clear();
      return;
    }
    devices_.push_back(std::move(device));
  }
}

EmulatedBus::~EmulatedBus() {
  for (auto& device : devices_) {
    device->detach();
  }
  // The testbed's ioctl thread ends with it; only then may the devices it called go.
  testbed_.reset();
  devices_.clear();
}

sim::Camera& EmulatedBus::camera(size_t index) {
  return devices_.at(index)->camera();
}

std::vector<UrbTiming> EmulatedBus::takeFrameUrbTimings(size_t index) {
  return index < devices_.size() ? devices_[index]->takeFrameUrbTimings()
                                 : std::vector<UrbTiming>{};
}

bool EmulatedBus::holdElsewhere(size_t index, bool held) {
  if (index >= devices_.size()) {
    return false;
  }
  devices_[index]->holdElsewhere(held);
  return true;
}

bool EmulatedBus::unplug(size_t index) {
  if (index >= devices_.size() || !devices_[index]->camera().plugged()) {
    return false;
  }
  EmulatedDevice& device = *devices_[index];
  // Requests fail first, as they would the moment the cable goes; the monitors hear of it after.
  device.camera().unplug();
  const std::string path = device.sysfsPath();
  umockdev_testbed_uevent(testbed_.get(), path.c_str(), "remove");
  umockdev_testbed_remove_device(testbed_.get(), path.c_str());
  return true;
}

bool EmulatedBus::replug(size_t index) {
  if (index >= devices_.size() || devices_[index]->camera().plugged()) {
    return false;
  }
  EmulatedDevice& device = *devices_[index];
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed_.get(), device.sysfsRecord().c_str(), &error)) {
    std::fprintf(stderr, "nivexa-usb-emulator: replug: %s\n",
                 error != nullptr ? error->message : "not added");
    if (error != nullptr) {
      g_error_free(error);
    }
    return false;
  }
  device.camera().replug();
  umockdev_testbed_uevent(testbed_.get(), device.sysfsPath().c_str(), "add");
  return true;
}

}  // namespace nivexa::usbtest

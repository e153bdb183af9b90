#include "transport/drivers/VirtualCameraBackend.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/ByteOrder.h"
#include "transport/drivers/DeviceNotices.h"
#include "transport/drivers/DriverRecord.h"

namespace nivexa::transport {
namespace {

using Clock = sim::Camera::Clock;

constexpr uint32_t kStatusUnsuccessful = DriverRecord::kStatusUnsuccessful;
constexpr uint32_t kUsbStatusStall = DriverRecord::kUsbStatusStall;
constexpr uint32_t kMsPerSecond = 1000;

bool samePath(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string guidText(const Guid& g) {
  char text[40];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", g[0], g[1],
                g[2], g[3], g[4], g[5], g[6], g[7], g[8], g[9], g[10], g[11], g[12], g[13], g[14],
                g[15]);
  return text;
}

sim::DriverRequest traced(DeviceHandle handle, uint32_t code, const DriverRecord& r, size_t inSize,
                          size_t outSize, bool refused) {
  sim::DriverRequest t;
  t.handle = handle;
  t.code = code;
  t.requestType = r.requestType;
  t.request = r.request;
  t.value = r.value;
  t.index = r.index;
  t.length = r.length;
  t.timeLimitS = r.timeLimitS;
  t.endpoint = r.endpoint;
  t.dataOffset = r.dataOffset;
  t.dataLength = r.dataLength;
  t.inSize = static_cast<uint32_t>(inSize);
  t.outSize = static_cast<uint32_t>(outSize);
  t.refused = refused;
  return t;
}

void signal(Overlapped* overlapped, uint32_t bytes, uint32_t error) {
  if (overlapped != nullptr) {
    recordOutcome(*overlapped, bytes, error, Notify::Event);
  }
}

}  // namespace

std::string VirtualCameraBackend::devicePath(const sim::CameraOptions& options,
                                             const std::string& instance) {
  char head[40];
  std::snprintf(head, sizeof head, "\\\\?\\usb#vid_%04x&pid_%04x#", options.vendorId,
                options.productId);
  return std::string(head) + instance + "#{" + guidText(kCameraInterfaceGuid) + "}";
}

VirtualCameraBackend::VirtualCameraBackend(sim::CameraSet& cameras) : cameras_(cameras) {
  {
    std::lock_guard lock(plugMutex_);
    for (const auto& entry : cameras_.entries()) {
      Known known = know(entry.camera, entry.instance);
      known.plugged = entry.camera->plugged();
      known.generation = entry.camera->generation();
      known_.emplace(entry.instance, std::move(known));
    }
  }
  setListener_ = cameras_.addListener([this] { announcePlugChanges(); });
  thread_.start([this] { worker(); });
}

VirtualCameraBackend::~VirtualCameraBackend() {
  stop_ = true;
  wake_.set();
  thread_.join();
  cameras_.removeListener(setListener_);
  std::map<std::string, Known> listened;
  {
    std::lock_guard lock(plugMutex_);
    listened.swap(known_);
  }
  for (const auto& [instance, k] : listened) {
    if (auto camera = k.camera.lock()) {
      camera->removeListener(k.listener);
    }
  }
  cancel([](const Transfer&) { return true; }, kErrorOperationAborted);
  std::lock_guard lock(mutex_);
  for (auto& [camera, id] : listeners_) {
    camera->removeListener(id);
  }
}

VirtualCameraBackend::Known VirtualCameraBackend::know(const std::shared_ptr<sim::Camera>& camera,
                                                       const std::string& instance) {
  Known known;
  known.camera = camera;
  known.path = devicePath(camera->options(), instance);
  // Plugging in and out is one of the camera's events. Which one it was is looked at on the
  // worker: the notification holds the camera's listener lock, which the look takes after
  // plugMutex_ when it meets a new camera.
  known.listener = camera->addListener([this] {
    plugsChanged_ = true;
    wake_.set();
  });
  return known;
}

void VirtualCameraBackend::announcePlugChanges() {
  std::unique_lock lock(plugMutex_);
  std::map<std::string, Known> now;
  for (const auto& entry : cameras_.entries()) {
    auto seen = known_.find(entry.instance);
    if (seen != known_.end() && seen->second.camera.lock() == entry.camera) {
      now.emplace(entry.instance, std::move(seen->second));
      known_.erase(seen);
    } else {
      now.emplace(entry.instance, know(entry.camera, entry.instance));  // not plugged yet
    }
  }
  for (auto& [instance, gone] : known_) {
    if (gone.plugged) {
      announceDeviceChange(platform::DeviceChange::Removal, gone.path);
    }
  }
  for (auto& [instance, known] : now) {
    auto camera = known.camera.lock();
    const bool plugged = camera && camera->plugged();
    const uint64_t generation = camera ? camera->generation() : known.generation;
    if (known.plugged && (!plugged || generation != known.generation)) {
      announceDeviceChange(platform::DeviceChange::Removal, known.path);
    }
    if (plugged && (!known.plugged || generation != known.generation)) {
      announceDeviceChange(platform::DeviceChange::Arrival, known.path);
    }
    known.plugged = plugged;
    known.generation = generation;
  }
  std::map<std::string, Known> gone = std::exchange(known_, std::move(now));
  lock.unlock();
  for (const auto& [instance, k] : gone) {
    if (auto camera = k.camera.lock()) {
      camera->removeListener(k.listener);
    }
  }
}

std::vector<std::string> VirtualCameraBackend::enumerate(const Guid& interfaceGuid) {
  std::vector<std::string> paths;
  if (interfaceGuid != kCameraInterfaceGuid) {
    return paths;
  }
  for (const auto& entry : cameras_.entries()) {
    if (entry.camera->plugged()) {
      paths.push_back(devicePath(entry.camera->options(), entry.instance));
    }
  }
  return paths;
}

DeviceHandle VirtualCameraBackend::open(const std::string& path, bool overlapped) {
  for (const auto& entry : cameras_.entries()) {
    if (!samePath(path, devicePath(entry.camera->options(), entry.instance))) {
      continue;
    }
    if (!entry.camera->plugged()) {
      return kInvalidDeviceHandle;
    }
    std::lock_guard lock(mutex_);
    watch(entry.camera);
    return handles_.add({entry.camera, entry.camera->generation(), overlapped});
  }
  return kInvalidDeviceHandle;
}

void VirtualCameraBackend::watch(const std::shared_ptr<sim::Camera>& camera) {
  if (!listeners_.contains(camera)) {
    listeners_[camera] = camera->addListener([this] { wake_.set(); });
  }
}

void VirtualCameraBackend::close(DeviceHandle handle) {
  std::lock_guard lock(mutex_);
  const std::optional<Handle> closed = handles_.remove(handle);
  if (!closed) {
    return;
  }
  const std::shared_ptr<sim::Camera>& camera = closed->camera;
  cancel([handle](const Transfer& t) { return t.handle == handle; }, kErrorOperationAborted);
  // Stop listening once nobody has the camera open, so a removed camera can be freed.
  if (!handles_.any([&](const Handle& other) { return other.camera == camera; })) {
    auto listener = listeners_.find(camera);
    if (listener != listeners_.end()) {
      camera->removeListener(listener->second);
      listeners_.erase(listener);
    }
  }
}

IoResult VirtualCameraBackend::ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in,
                                     std::span<uint8_t> out, Overlapped* overlapped) {
  const std::optional<Handle> found = handles_.find(handle);
  if (!found) {
    return {false, 0, kErrorInvalidHandle};
  }
  const Handle& h = *found;
  if (!h.camera->plugged() || h.camera->generation() != h.generation) {
    return {false, 0, kErrorDeviceNotConnected};
  }
  if (!h.overlapped && overlapped != nullptr) {
    // A synchronous handle completes every request before returning; the caller's record still
    // learns the outcome, so code written for overlapped handles works on it too.
    IoResult r = ioctl(handle, code, in, out, nullptr);
    signal(overlapped, r.bytesReturned, r.ok ? kErrorSuccess : r.error);
    return r;
  }
  auto done = [overlapped](uint32_t bytes) {
    signal(overlapped, bytes, kErrorSuccess);
    return IoResult{true, bytes, kErrorSuccess};
  };
  switch (code) {
    case kIoctlVendorRequest:
    case kIoctlDirectTransfer:
    case kIoctlBufferedTransfer: {
      auto record = decodeDriverRecord(in);
      if (!record) {
        return {false, 0, kErrorInvalidParameter};
      }
      const bool refused = !wellFormedRecord(code, *record, in.size(), out.size());
      h.camera->recordRequest(traced(handle, code, *record, in.size(), out.size(), refused));
      if (refused) {
        return {false, 0, kErrorInvalidParameter};
      }
      if (code == kIoctlVendorRequest) {
        return vendorRequest(h, *record, in, out, overlapped);
      }
      return bulkTransfer(handle, h, code, *record, in, out, overlapped);
    }
    case kIoctlAbortPipe: {
      if (in.empty()) {
        return {false, 0, kErrorInvalidParameter};
      }
      uint8_t endpoint = in[0];
      cancel([&](const Transfer& t) { return t.camera == h.camera && t.endpoint == endpoint; },
             kErrorOperationAborted);
      return done(0);
    }
    case kIoctlResetPipe:
      if (in.empty()) {
        return {false, 0, kErrorInvalidParameter};
      }
      h.camera->resetPipe(in[0]);
      return done(0);
    case kIoctlResetPort: {
      cancel([&](const Transfer& t) { return t.camera == h.camera; }, kErrorOperationAborted);
      h.camera->resetPort();
      return done(0);
    }
    case kIoctlBusSpeed: {
      if (out.size() < 4) {
        return {false, 0, kErrorInvalidParameter};
      }
      platform::storeLe32(out, 0, h.camera->busSpeed());
      return done(4);
    }
    default:
      return {false, 0, kErrorInvalidParameter};
  }
}

IoResult VirtualCameraBackend::vendorRequest(const Handle& h, const DriverRecord& record,
                                             std::span<uint8_t> in, std::span<uint8_t> out,
                                             Overlapped* overlapped) {
  const bool deviceToHost = record.requestType & 0x80;
  // The data stage travels through a copy: `in` and `out` may be the same memory.
  std::vector<uint8_t> stage(in.begin() + record.dataOffset,
                             in.begin() + record.dataOffset + record.dataLength);
  sim::Camera::ControlSetup setup{record.requestType, record.request, record.value, record.index,
                                  record.length};
  sim::Camera::ControlResult result = h.camera->control(setup, stage);
  if (!result.answered) {
    // Nothing will ever end the request but the record's time limit, which the caller sits
    // through as it would on a real bus.
    platform::Event never(platform::Event::Reset::Manual);
    never.wait(syncLimitMs(record));
    writeDriverStatus(in, kStatusUnsuccessful, 0);
    return {false, 0, kErrorSemTimeout};
  }
  if (out.data() != in.data() && out.size() >= DriverRecord::kSize) {
    std::copy(in.begin(), in.begin() + DriverRecord::kSize, out.begin());
  }
  if (!result.ok) {
    bool gone = !h.camera->plugged();
    writeDriverStatus(in, kStatusUnsuccessful, gone ? 0 : kUsbStatusStall);
    return {false, 0, gone ? kErrorDeviceNotConnected : kErrorGenFailure};
  }
  if (deviceToHost) {
    std::copy(stage.begin(), stage.begin() + result.count, out.begin() + record.dataOffset);
  }
  writeDriverStatus(in, 0, 0);
  if (out.data() != in.data()) {
    writeDriverStatus(out, 0, 0);
  }
  uint32_t bytes = static_cast<uint32_t>(DriverRecord::kSize) + result.count;
  signal(overlapped, bytes, kErrorSuccess);
  return {true, bytes, kErrorSuccess};
}

IoResult VirtualCameraBackend::bulkTransfer(DeviceHandle handle, const Handle& h, uint32_t code,
                                            const DriverRecord& record, std::span<uint8_t> in,
                                            std::span<uint8_t> out, Overlapped* overlapped) {
  Transfer t;
  t.handle = handle;
  t.camera = h.camera;
  t.generation = h.generation;
  t.endpoint = record.endpoint;
  t.record = in.first(DriverRecord::kSize);
  if (code == kIoctlBufferedTransfer) {
    t.data = out.subspan(record.dataOffset, record.dataLength);
    t.extraBytes = record.dataOffset;
  } else {
    t.data = out;
  }
  // A synchronous caller waits here; the worker completes the transfer like any other.
  platform::Event localEvent(platform::Event::Reset::Manual);
  Overlapped local(localEvent);
  Overlapped& completion = overlapped != nullptr ? *overlapped : local;
  completion.completed.store(false);
  if (!pending_.start(completion, t, attempt)) {
    wake_.set();
    if (overlapped != nullptr) {
      return {false, 0, kErrorIoPending};
    }
  }
  if (overlapped == nullptr && !localEvent.wait(syncLimitMs(record))) {
    // A synchronous caller has nobody to abort the transfer for it: the driver gives up after
    // the record's time limit, unless the transfer completed while the wait ran out.
    pending_.end(local, [](Transfer& late) { return ended(late, 0, kErrorSemTimeout); });
  }
  uint32_t error = completion.error.load();
  uint32_t bytes = completion.bytesTransferred.load();
  return {error == kErrorSuccess, error == kErrorSuccess ? bytes : 0, error};
}

uint32_t VirtualCameraBackend::syncLimitMs(const DriverRecord& record) {
  const uint64_t seconds = record.timeLimitS != 0 ? record.timeLimitS : kDefaultTimeLimitS;
  return static_cast<uint32_t>(std::min<uint64_t>(seconds * kMsPerSecond, platform::kInfinite - 1));
}

std::optional<IoResult> VirtualCameraBackend::attempt(Transfer& t) {
  if (t.camera->generation() != t.generation) {
    return ended(t, 0, kErrorDeviceNotConnected);
  }
  sim::Camera::BulkResult r = t.camera->bulk(t.endpoint, t.data);
  switch (r.status) {
    case sim::Camera::BulkStatus::Gone:
      return ended(t, 0, kErrorDeviceNotConnected);
    case sim::Camera::BulkStatus::Pending:
      t.retryAt = r.retryAt;
      return std::nullopt;
    case sim::Camera::BulkStatus::Done:
      if (r.usbStatus != 0) {
        writeDriverStatus(t.record, kStatusUnsuccessful, r.usbStatus);
        return ended(t, 0, kErrorGenFailure);
      }
      writeDriverStatus(t.record, 0, 0);
      return ended(t, r.bytes + t.extraBytes, kErrorSuccess);
  }
  return std::nullopt;
}

IoResult VirtualCameraBackend::ended(Transfer& t, uint32_t bytes, uint32_t error) {
  if (error != kErrorSuccess && error != kErrorGenFailure) {
    writeDriverStatus(t.record, kStatusUnsuccessful, 0);
  }
  return {error == kErrorSuccess, bytes, error};
}

void VirtualCameraBackend::cancel(const std::function<bool(const Transfer&)>& which,
                                  uint32_t error) {
  pending_.endIf(which, [error](Transfer& t) { return ended(t, 0, error); });
}

IoResult VirtualCameraBackend::overlappedResult(DeviceHandle /*handle*/, Overlapped& overlapped,
                                                bool wait) {
  return pending_.result(overlapped, wait);
}

void VirtualCameraBackend::worker() {
  while (!stop_) {
    if (plugsChanged_.exchange(false)) {
      announcePlugChanges();
    }
    Clock::time_point next = Clock::time_point::max();
    pending_.retry([&next](Transfer& t) {
      std::optional<IoResult> outcome = attempt(t);
      if (!outcome) {
        next = std::min(next, t.retryAt);
      }
      return outcome;
    });
    uint32_t waitMs = platform::kInfinite;
    if (next != Clock::time_point::max()) {
      auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
      waitMs = static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, 60000));
    }
    if (waitMs > 0) {
      wake_.wait(waitMs);
    }
  }
}

}  // namespace nivexa::transport

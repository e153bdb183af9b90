#include "RecordingBackend.h"

#include <algorithm>

namespace nivexa::transport::testing {

namespace {
constexpr int kFrameEndpointIn = 0x81;
}  // namespace

RecordingBackend::RecordingBackend() : inner_(cameras_) {}

RecordingBackend& RecordingBackend::instance() {
  static RecordingBackend* backend = [] {
    auto shared = std::shared_ptr<RecordingBackend>(new RecordingBackend);
    addFx3Backend(shared);
    return shared.get();  // kept alive by the process-wide driver
  }();
  return *backend;
}

std::shared_ptr<sim::Camera> RecordingBackend::addCamera(const sim::CameraOptions& options) {
  return cameras_.add(options);
}

void RecordingBackend::removeCamera(const std::shared_ptr<sim::Camera>& camera) {
  cameras_.remove(camera);
}

std::string RecordingBackend::pathOf(const std::shared_ptr<sim::Camera>& camera) const {
  for (const auto& entry : cameras_.entries()) {
    if (entry.camera == camera) {
      return VirtualCameraBackend::devicePath(camera->options(), entry.instance);
    }
  }
  return {};
}

std::vector<SeenRequest> RecordingBackend::requests() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

void RecordingBackend::clearRequests() {
  std::lock_guard lock(mutex_);
  seen_.clear();
}

void RecordingBackend::setExtraPaths(std::vector<std::string> paths) {
  std::lock_guard lock(mutex_);
  extraPaths_ = std::move(paths);
}

int RecordingBackend::opensOf(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::ranges::count(opened_, path));
}

std::vector<std::string> RecordingBackend::enumerate(const Guid& interfaceGuid) {
  auto paths = inner_.enumerate(interfaceGuid);
  std::lock_guard lock(mutex_);
  paths.insert(paths.end(), extraPaths_.begin(), extraPaths_.end());
  return paths;
}

DeviceHandle RecordingBackend::open(const std::string& path, bool overlapped) {
  {
    std::lock_guard lock(mutex_);
    opened_.push_back(path);
  }
  return inner_.open(path, overlapped);
}

void RecordingBackend::close(DeviceHandle handle) {
  inner_.close(handle);
}

IoResult RecordingBackend::ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in,
                                 std::span<uint8_t> out, Overlapped* overlapped) {
  SeenRequest seen;
  seen.code = code;
  seen.record = decodeDriverRecord(in);
  seen.inSize = in.size();
  seen.outSize = out.size();
  if (code == kIoctlVendorRequest && seen.record && !(seen.record->requestType & 0x80) &&
      in.size() >= DriverRecord::kSize + seen.record->value) {
    seen.outgoing.assign(in.begin() + DriverRecord::kSize,
                         in.begin() + DriverRecord::kSize + seen.record->value);
  }
  if ((code == kIoctlAbortPipe || code == kIoctlResetPipe) && !in.empty()) {
    seen.argument = in[0];
  }
  if (code == kIoctlDirectTransfer && seen.record && !(seen.record->endpoint & 0x80)) {
    seen.outgoing.assign(out.begin(), out.begin() + std::min<size_t>(out.size(), 64));
  }
  {
    std::lock_guard lock(mutex_);
    seen_.push_back(seen);
  }
  if (code == kIoctlDirectTransfer && overlapped != nullptr && seen.record &&
      seen.record->endpoint == kFrameEndpointIn && holdReadUntilAbort.exchange(false)) {
    std::lock_guard lock(mutex_);
    held_ = HeldRead{handle, in, out, overlapped};
    return {false, 0, kErrorIoPending};
  }
  if (code == kIoctlAbortPipe && seen.argument == kFrameEndpointIn) {
    std::optional<HeldRead> read;
    {
      std::lock_guard lock(mutex_);
      read.swap(held_);
    }
    if (read) {
      // Completed before the abort is looked at: the abort then finds nothing to cancel.
      const IoResult started =
          inner_.ioctl(read->handle, kIoctlDirectTransfer, read->in, read->out, read->overlapped);
      if (!started.ok && started.error == kErrorIoPending) {
        inner_.overlappedResult(read->handle, *read->overlapped, true);
      }
    }
  }
  if (code == kIoctlDirectTransfer && swallowTransfers && overlapped != nullptr) {
    std::lock_guard lock(mutex_);
    swallowed_.push_back(overlapped);
    return {false, 0, kErrorIoPending};
  }
  if (code == kIoctlDirectTransfer && memoryDevice && seen.record) {
    // Memory commands are taken as sent; reads are answered at once with a byte pattern.
    if (seen.record->endpoint == 0x81) {
      for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<uint8_t>(i * 7);
      }
    }
    writeDriverStatus(in, 0, 0);
    return {true, static_cast<uint32_t>(out.size()), kErrorSuccess};
  }
  IoResult result = inner_.ioctl(handle, code, in, out, overlapped);
  const int cut = vendorReplyBytes.load();
  if (code == kIoctlVendorRequest && result.ok && cut >= 0) {
    result.bytesReturned = std::min<uint32_t>(result.bytesReturned, static_cast<uint32_t>(cut));
  }
  return result;
}

IoResult RecordingBackend::overlappedResult(DeviceHandle handle, Overlapped& overlapped,
                                            bool wait) {
  return inner_.overlappedResult(handle, overlapped, wait);
}

}  // namespace nivexa::transport::testing

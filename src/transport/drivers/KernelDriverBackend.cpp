#include "transport/drivers/KernelDriverBackend.h"

namespace nivexa::transport {

namespace {

IoResult toIoResult(const platform::DeviceIoOutcome& outcome) {
  return {outcome.ok, outcome.bytes, outcome.ok ? kErrorSuccess : outcome.error};
}

}  // namespace

KernelDriverBackend::KernelDriverBackend(std::shared_ptr<platform::DeviceIo> calls)
    : calls_(std::move(calls)) {}

KernelDriverBackend::~KernelDriverBackend() {
  // Requests still in flight keep their completion records: the system may yet write to them.
  std::unique_lock lock(mutex_);
  completed_.wait(lock, [this] { return inFlight_.empty(); });
  lock.unlock();
  reap();
  for (auto& [handle, opened] : handles_) {
    calls_->closeHandle(opened.os);
  }
}

std::vector<std::string> KernelDriverBackend::enumerate(const Guid& interfaceGuid) {
  return calls_->interfacePaths(interfaceGuid);
}

DeviceHandle KernelDriverBackend::open(const std::string& path, bool overlapped) {
  const platform::DeviceIo::Handle os = calls_->createFile(path, overlapped);
  if (os == platform::DeviceIo::kInvalidHandle) {
    return kInvalidDeviceHandle;
  }
  std::lock_guard lock(mutex_);
  const DeviceHandle handle = nextHandle_++;
  handles_[handle] = {os, overlapped};
  return handle;
}

void KernelDriverBackend::close(DeviceHandle handle) {
  Opened opened;
  {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
      return;
    }
    opened = it->second;
    handles_.erase(it);
  }
  // Closing the last handle makes the driver complete what is still pending on it (aborted);
  // the completion records stay until then.
  calls_->closeHandle(opened.os);
  reap();
}

bool KernelDriverBackend::lookUp(DeviceHandle handle, Opened& out) {
  std::lock_guard lock(mutex_);
  auto it = handles_.find(handle);
  if (it == handles_.end()) {
    return false;
  }
  out = it->second;
  return true;
}

// A handle opened for overlapped I/O takes no request without a completion record; a caller
// that wants to wait gets one of ours and the wait.
IoResult KernelDriverBackend::waitInPlace(const Opened& opened, uint32_t code,
                                          std::span<uint8_t> in, std::span<uint8_t> out) {
  auto pending = calls_->newPendingIo();
  if (!pending) {
    return {false, 0, kErrorGenFailure};
  }
  platform::DeviceIoOutcome outcome =
      calls_->deviceIoControl(opened.os, code, in, out, pending.get());
  if (outcome.ok || outcome.error == kErrorIoPending) {
    outcome = calls_->getOverlappedResult(opened.os, *pending, true);
  }
  return toIoResult(outcome);
}

IoResult KernelDriverBackend::ioctl(DeviceHandle handle, uint32_t code, std::span<uint8_t> in,
                                    std::span<uint8_t> out, Overlapped* overlapped) {
  reap();
  Opened opened;
  if (!lookUp(handle, opened)) {
    return {false, 0, kErrorInvalidHandle};
  }
  if (overlapped == nullptr) {
    if (opened.overlapped) {
      return waitInPlace(opened, code, in, out);
    }
    return toIoResult(calls_->deviceIoControl(opened.os, code, in, out, nullptr));
  }

  auto pending = calls_->newPendingIo();
  if (!pending) {
    return {false, 0, kErrorGenFailure};
  }
  overlapped->completed = false;
  platform::PendingIo& io = *pending;
  {
    std::lock_guard lock(mutex_);
    if (inFlight_.contains(overlapped)) {
      return {false, 0, kErrorInvalidParameter};  // one request per completion record
    }
    inFlight_[overlapped] = {opened.os, std::move(pending)};
  }
  const platform::DeviceIoOutcome outcome = calls_->deviceIoControl(opened.os, code, in, out, &io);
  if (!outcome.ok && outcome.error == kErrorIoPending &&
      io.notifyWhenDone([this, overlapped] { finished(overlapped); })) {
    return {false, 0, kErrorIoPending};
  }

  IoResult result = toIoResult(outcome);
  if (!outcome.ok && outcome.error == kErrorIoPending) {
    // No notice can be had: the request is waited for here, and reported as done at once.
    result = toIoResult(calls_->getOverlappedResult(opened.os, io, true));
  } else if (outcome.ok) {
    // Done at once; the count of an overlapped request is its completion record's.
    result = toIoResult(calls_->getOverlappedResult(opened.os, io, false));
  }
  std::unique_ptr<platform::PendingIo> record;
  {
    std::lock_guard lock(mutex_);
    auto it = inFlight_.find(overlapped);
    record = std::move(it->second.pending);
    inFlight_.erase(it);
    overlapped->bytesTransferred = result.bytesReturned;
    overlapped->error = result.ok ? kErrorSuccess : result.error;
    overlapped->completed = true;
  }
  return result;
}

void KernelDriverBackend::finished(Overlapped* overlapped) {
  {
    std::lock_guard lock(mutex_);
    auto it = inFlight_.find(overlapped);
    if (it == inFlight_.end()) {
      return;
    }
    const IoResult result =
        toIoResult(calls_->getOverlappedResult(it->second.os, *it->second.pending, false));
    overlapped->bytesTransferred = result.bytesReturned;
    overlapped->error = result.ok ? kErrorSuccess : result.error;
    overlapped->completed = true;
    done_.push_back(std::move(it->second.pending));
    inFlight_.erase(it);
    // Under the lock: a caller blocked in overlappedResult() cannot return and drop the
    // Overlapped (and its event) before the event is set.
    overlapped->event.set();
  }
  completed_.notify_all();
}

IoResult KernelDriverBackend::overlappedResult(DeviceHandle handle, Overlapped& overlapped,
                                               bool wait) {
  reap();
  Opened opened;
  if (!lookUp(handle, opened)) {
    return {false, 0, kErrorInvalidHandle};
  }
  std::unique_lock lock(mutex_);
  if (wait) {
    completed_.wait(lock, [&] { return overlapped.completed.load(); });
  } else if (!overlapped.completed) {
    return {false, 0, kErrorIoIncomplete};
  }
  const uint32_t error = overlapped.error;
  return {error == kErrorSuccess, overlapped.bytesTransferred, error};
}

void KernelDriverBackend::reap() {
  std::vector<std::unique_ptr<platform::PendingIo>> finishedRecords;
  {
    std::lock_guard lock(mutex_);
    finishedRecords.swap(done_);
  }
}

}  // namespace nivexa::transport

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
  inFlight_.waitUntilNoneInFlight();
  reap();
  for (const Opened& opened : handles_.removeAll()) {
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
  return handles_.add({os, overlapped});
}

void KernelDriverBackend::close(DeviceHandle handle) {
  const std::optional<Opened> opened = handles_.remove(handle);
  if (!opened) {
    return;
  }
  // Closing the last handle makes the driver complete what is still pending on it (aborted);
  // the completion records stay until then.
  calls_->closeHandle(opened->os);
  reap();
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
  const std::optional<Opened> found = handles_.find(handle);
  if (!found) {
    return {false, 0, kErrorInvalidHandle};
  }
  const Opened& opened = *found;
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
  if (!inFlight_.add(*overlapped, {opened.os, std::move(pending)})) {
    return {false, 0, kErrorInvalidParameter};  // one request per completion record
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
  // The record leaves only after the request: freed here, once the lock is released.
  const std::optional<Request> ended = inFlight_.end(
      *overlapped, [&](Request&) { return result; }, Notify::Silently);
  return result;
}

void KernelDriverBackend::finished(Overlapped* overlapped) {
  inFlight_.end(*overlapped, [this](Request& request) {
    const IoResult result =
        toIoResult(calls_->getOverlappedResult(request.os, *request.pending, false));
    // This runs inside the record's own callback, which must not free it; and it is moved while
    // the request still counts as in flight, so the destructor cannot free done_ under it.
    std::lock_guard lock(doneMutex_);
    done_.push_back(std::move(request.pending));
    return result;
  });
}

IoResult KernelDriverBackend::overlappedResult(DeviceHandle handle, Overlapped& overlapped,
                                               bool wait) {
  reap();
  if (!handles_.find(handle)) {
    return {false, 0, kErrorInvalidHandle};
  }
  return inFlight_.result(overlapped, wait);
}

void KernelDriverBackend::reap() {
  std::vector<std::unique_ptr<platform::PendingIo>> finishedRecords;
  {
    std::lock_guard lock(doneMutex_);
    finishedRecords.swap(done_);
  }
}

}  // namespace nivexa::transport

#include "stream/BufferQueue.h"

#include <algorithm>
#include <chrono>
#include <unordered_set>

namespace nivexa::stream {

namespace {

// Every buffer lent to any handle of the process. Immortal: a handle released from a static
// destructor at exit still finds it.
struct Lent {
  std::mutex mutex;
  std::unordered_set<const NivexaBuffer*> buffers;
};

Lent& lent() {
  static Lent* registry = new Lent;
  return *registry;
}

bool lend(const NivexaBuffer* buffer) {
  Lent& registry = lent();
  std::lock_guard lock(registry.mutex);
  return registry.buffers.insert(buffer).second;
}

void giveBack(const NivexaBuffer* buffer) {
  Lent& registry = lent();
  std::lock_guard lock(registry.mutex);
  registry.buffers.erase(buffer);
}

}  // namespace

BufferQueue::~BufferQueue() {
  std::lock_guard lock(mutex_);
  for (const auto* list : {&queued_, &returned_, &outbox_}) {
    for (const NivexaBuffer* buffer : *list) {
      giveBack(buffer);
    }
  }
  if (taken_ != nullptr) {
    giveBack(taken_);
  }
}

BufferQueue::QueueResult BufferQueue::queue(NivexaBuffer* buffer) {
  if (buffer == nullptr || buffer->data == nullptr) {
    return QueueResult::Null;
  }
  std::lock_guard lock(mutex_);
  if (buffer->capacity < requiredBytes_) {
    return QueueResult::TooSmall;
  }
  if (!lend(buffer)) {
    return QueueResult::AlreadyLent;
  }
  buffer->status = NIVEXA_BUFFER_QUEUED;
  queued_.push_back(buffer);
  return QueueResult::Queued;
}

void BufferQueue::setRequiredBytes(uint32_t bytes) {
  std::unique_lock lock(mutex_);
  requiredBytes_ = bytes;
  std::vector<NivexaBuffer*> small;
  std::erase_if(queued_, [&](NivexaBuffer* buffer) {
    if (buffer->capacity >= bytes) {
      return false;
    }
    buffer->status = NIVEXA_BUFFER_CANCELLED;
    small.push_back(buffer);
    return true;
  });
  handBack(lock, small);
}

uint32_t BufferQueue::requiredBytes() const {
  std::lock_guard lock(mutex_);
  return requiredBytes_;
}

NivexaBuffer* BufferQueue::take() {
  std::lock_guard lock(mutex_);
  if (queued_.empty()) {
    return nullptr;
  }
  taken_ = queued_.front();
  queued_.pop_front();
  return taken_;
}

void BufferQueue::untake(NivexaBuffer* buffer) {
  std::lock_guard lock(mutex_);
  if (buffer == nullptr || buffer != taken_) {
    return;
  }
  taken_ = nullptr;
  queued_.push_front(buffer);
}

void BufferQueue::complete(NivexaBuffer* buffer, uint32_t status, Callback callback) {
  std::unique_lock lock(mutex_);
  if (buffer != taken_ || buffer == nullptr) {
    return;
  }
  taken_ = nullptr;
  buffer->status = status;
  if (callback == Callback::Deferred && callback_ != nullptr) {
    outbox_.push_back(buffer);
    return;
  }
  handBack(lock, {buffer});
}

void BufferQueue::deliverPending() {
  std::unique_lock lock(mutex_);
  handBack(lock, {});
}

size_t BufferQueue::returnQueued(uint32_t status) {
  std::unique_lock lock(mutex_);
  std::vector<NivexaBuffer*> buffers(queued_.begin(), queued_.end());
  queued_.clear();
  for (NivexaBuffer* buffer : buffers) {
    buffer->status = status;
  }
  handBack(lock, buffers);
  return buffers.size();
}

void BufferQueue::handBack(std::unique_lock<std::mutex>& lock,
                           const std::vector<NivexaBuffer*>& buffers) {
  if (buffers.empty() && outbox_.empty()) {
    return;
  }
  if (callback_ == nullptr && outbox_.empty()) {
    returned_.insert(returned_.end(), buffers.begin(), buffers.end());
    returnedOrInterrupted_.notify_all();
    return;
  }
  outbox_.insert(outbox_.end(), buffers.begin(), buffers.end());
  // A thread already delivering (this one, from inside its callback, or another) empties the
  // outbox in order; the callback is never entered twice at once.
  if (deliverer_ != std::thread::id{}) {
    return;
  }
  deliverer_ = std::this_thread::get_id();
  while (!outbox_.empty()) {
    NivexaBuffer* buffer = outbox_.front();
    outbox_.pop_front();
    const NivexaStreamCallback callback = callback_;
    void* context = context_;
    if (callback == nullptr) {
      returned_.push_back(buffer);
      returnedOrInterrupted_.notify_all();
      continue;
    }
    // Out of the registry before the callback sees it, so the callback may lend it again.
    giveBack(buffer);
    lock.unlock();
    callback(buffer, context);
    lock.lock();
  }
  deliverer_ = std::thread::id{};
  returnedOrInterrupted_.notify_all();
}

NivexaBuffer* BufferQueue::wait(int32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  const uint64_t interruptsAtStart = interrupts_;
  const auto ready = [&] {
    return !returned_.empty() || callback_ != nullptr || interrupts_ != interruptsAtStart ||
           closed_;
  };
  if (timeoutMs < 0) {
    returnedOrInterrupted_.wait(lock, ready);
  } else {
    returnedOrInterrupted_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
  }
  if (returned_.empty() || callback_ != nullptr || interrupts_ != interruptsAtStart || closed_) {
    return nullptr;
  }
  NivexaBuffer* buffer = returned_.front();
  returned_.pop_front();
  giveBack(buffer);
  return buffer;
}

void BufferQueue::interrupt() {
  std::lock_guard lock(mutex_);
  ++interrupts_;
  returnedOrInterrupted_.notify_all();
}

void BufferQueue::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  returnedOrInterrupted_.notify_all();
}

void BufferQueue::setCallback(NivexaStreamCallback callback, void* context) {
  std::lock_guard lock(mutex_);
  callback_ = callback;
  context_ = context;
  returnedOrInterrupted_.notify_all();
}

bool BufferQueue::hasCallback() const {
  std::lock_guard lock(mutex_);
  return callback_ != nullptr;
}

}  // namespace nivexa::stream

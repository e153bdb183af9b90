#include "FrameSource.h"

#include <cstring>

namespace nivexa::viewer {

namespace {
// One being filled, one waiting for the display, and spares so that the library always has a
// buffer while the display copies.
constexpr size_t kBufferCount = 4;
}  // namespace

bool FrameSource::start(int32_t h, int32_t flags) {
  stop();
  const uint32_t capacity = NivexaStream_FrameBytes(h, flags);
  if (capacity == 0) {
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
    newest_ = nullptr;
  }
  failed_ = false;
  slots_.clear();
  for (size_t i = 0; i < kBufferCount; ++i) {
    auto slot = std::make_unique<Slot>();
    slot->memory.resize(capacity);
    slot->buffer.data = slot->memory.data();
    slot->buffer.capacity = capacity;
    slots_.push_back(std::move(slot));
  }
  if (NivexaStream_SetCallback(h, &FrameSource::onBuffer, this) == 0) {
    slots_.clear();
    return false;
  }
  handle_ = h;
  for (auto& slot : slots_) {
    NivexaStream_Queue(h, &slot->buffer);
  }
  if (NivexaStream_Start(h, flags) == 0) {
    stop();
    return false;
  }
  return true;
}

void FrameSource::stop() {
  if (handle_ == 0) {
    return;
  }
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    newest_ = nullptr;
  }
  // Every lent buffer comes back cancelled before this returns; none is lent again meanwhile.
  NivexaStream_Stop(handle_);
  NivexaStream_SetCallback(handle_, nullptr, nullptr);
  handle_ = 0;
  slots_.clear();
}

void FrameSource::onBuffer(NivexaBuffer* buffer, void* context) {
  static_cast<FrameSource*>(context)->handle(buffer);
}

void FrameSource::handle(NivexaBuffer* buffer) {
  if (buffer->status == NIVEXA_BUFFER_FAILED) {
    failed_ = true;
    return;
  }
  if (buffer->status != NIVEXA_BUFFER_COMPLETE) {
    // Incomplete transfers go straight back; cancelled ones stay with us.
    if (buffer->status == NIVEXA_BUFFER_INCOMPLETE) {
      giveBack(buffer);
    }
    return;
  }
  {
    std::lock_guard lock(tapMutex_);
    if (tap_) {
      tap_(*buffer);
    }
  }
  NivexaBuffer* older = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) {
      return;
    }
    ++counts_.delivered;
    if (newest_ != nullptr) {
      older = newest_;
      ++counts_.skipped;
    }
    newest_ = buffer;
  }
  if (older != nullptr) {
    giveBack(older);
  }
}

void FrameSource::giveBack(NivexaBuffer* buffer) {
  std::lock_guard lock(mutex_);
  if (!stopping_) {
    NivexaStream_Queue(handle_, buffer);
  }
}

bool FrameSource::takeNewest(Frame& out) {
  std::lock_guard lock(mutex_);
  if (newest_ == nullptr || stopping_) {
    return false;
  }
  NivexaBuffer* buffer = newest_;
  newest_ = nullptr;
  const size_t bytes = static_cast<size_t>(buffer->stride) * static_cast<size_t>(buffer->height);
  out.data.resize(bytes);
  std::memcpy(out.data.data(), buffer->data, bytes);
  out.width = buffer->width;
  out.height = buffer->height;
  out.bitsPerPixel = buffer->bitsPerPixel;
  out.stride = buffer->stride;
  out.number = buffer->frameNumber;
  out.timestampNs = buffer->timestampNs;
  ++counts_.shown;
  NivexaStream_Queue(handle_, buffer);
  return true;
}

FrameCounts FrameSource::counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

void FrameSource::setTap(FrameTap tap) {
  std::lock_guard lock(tapMutex_);
  tap_ = std::move(tap);
}

}  // namespace nivexa::viewer

// Buffer streams: the application lends buffers and gets each back with one frame. The stream is
// an acquisition mode of its own; a triggered one runs the same trigger loop as Trigger, only
// delivering into the lent buffers.
#include <chrono>
#include <mutex>
#include <utility>

#include "camera/CNivexa.h"
#include "camera/CaptureArea.h"
#include "engine/EngineConstants.h"
#include "platform/Log.h"

namespace nivexa::camera {

using engine::kCaptureContinuous;
using engine::kWaitNewFrame;
using engine::kWaitTransferFailed;

namespace {

constexpr uint32_t kFrameWaitMs = 3000;
constexpr double kMicrosecondsPerSecond = 1e6;
constexpr int32_t kKnownFlags = NIVEXA_STREAM_PROCESSED | NIVEXA_STREAM_TRIGGERED;
constexpr int32_t kBitsPerByte = 8;

std::span<uint8_t> applicationMemory(const NivexaBuffer& buffer) {
  return {static_cast<uint8_t*>(buffer.data), static_cast<size_t>(buffer.capacity)};
}

uint64_t steadyNowMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace

std::optional<CNivexa::BufferFormat> CNivexa::BufferStreamFormat(bool processed) const {
  const int32_t divisor = subsampleDivisor(subsample_);
  const int32_t mode = colorMode_ >= 0 && colorMode_ <= 5 ? colorMode_.load() : 0;
  const auto colorMode = static_cast<imaging::ColorMode>(mode);
  BufferFormat format;
  format.width = frameWidth_ / divisor;
  format.height = frameHeight_ / divisor;
  if (format.width <= 0 || format.height <= 0) {
    return std::nullopt;
  }
  if (processed) {
    format.bitsPerPixel = imaging::colorModeBits(colorMode);
    format.stride = imaging::dibStride(format.width, format.bitsPerPixel);
  } else {
    // The camera sends 8-bit samples, or 16-bit words for the modes built from them.
    const bool sixteen = colorMode == imaging::ColorMode::Mono16 ||
                         colorMode == imaging::ColorMode::Bgr48 ||
                         colorMode == imaging::ColorMode::Bgr64;
    format.bitsPerPixel = sixteen ? 2 * kBitsPerByte : kBitsPerByte;
    format.stride = format.width * (format.bitsPerPixel / kBitsPerByte);
  }
  format.bytes = static_cast<uint32_t>(format.stride) * static_cast<uint32_t>(format.height);
  return format;
}

uint32_t CNivexa::StreamFrameBytes(int32_t flags) {
  if (!RequireEngine()) {
    return 0;
  }
  const auto format = BufferStreamFormat((flags & NIVEXA_STREAM_PROCESSED) != 0);
  return format ? format->bytes : 0;
}

int CNivexa::StreamFrameRate(double* framesPerSecond) {
  if (!RequireEngine()) {
    return 0;
  }
  if (framesPerSecond == nullptr) {
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  const double periodUs = currentDevice_ >= 0 && !deviceLost_ ? engine_->FramePeriodUs() : 0.0;
  if (periodUs <= 0.0) {
    RecordError(NIVEXA_ERR_DEVICE);
    return 0;
  }
  *framesPerSecond = kMicrosecondsPerSecond / periodUs;
  return 1;
}

int CNivexa::QueueBuffer(NivexaBuffer* buffer) {
  switch (bufferQueue_.queue(buffer)) {
    case stream::BufferQueue::QueueResult::Queued:
      return 1;
    case stream::BufferQueue::QueueResult::TooSmall:
      RecordError(NIVEXA_ERR_MEMORY);
      return 0;
    case stream::BufferQueue::QueueResult::Null:
    case stream::BufferQueue::QueueResult::AlreadyLent:
      RecordError(NIVEXA_ERR_ARGUMENT);
      return 0;
  }
  return 0;
}

int CNivexa::StartBufferStream(int32_t flags) {
  std::lock_guard command(commandLock_);
  if (!RequireEngine()) {
    return 0;
  }
  if ((flags & ~kKnownFlags) != 0) {
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  if (mode_ == kModeBufferStream && running_) {
    if (bufferStreamFlags_ == flags) {
      return 1;
    }
    RecordError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  // A stream whose loop ended by itself (stopped from its callback, or its camera lost) is
  // finished before a new one starts.
  if (mode_ == kModeBufferStream) {
    StopPreview();
  }
  if (mode_ != kModeIdle) {
    RecordError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  const bool triggered = (flags & NIVEXA_STREAM_TRIGGERED) != 0;
  if (!PrepareStream()) {
    return 0;
  }
  const auto format = BufferStreamFormat((flags & NIVEXA_STREAM_PROCESSED) != 0);
  if (!format) {
    RecordError(NIVEXA_ERR_FORMAT);
    return 0;
  }
  bufferStreamFlags_ = flags;
  // A lost camera is announced where the application's notices go.
  SetCallbackTarget(notifyWindow_, nullptr, 0, 0);
  bufferQueue_.setRequiredBytes(format->bytes);
  streamStatistics_.reset(steadyNowMs());
  mode_ = kModeBufferStream;
  if (triggered) {
    frameTimeoutMs_ = kTriggerTimeoutMs;
    engine_->SetFrameTimeout(kTriggerTimeoutMs);
    engine_->SetTriggerMode(1, 0);
  } else {
    // A raw frame needs no work of ours: the capture thread reads it straight into the next
    // queued buffer, or, where it cannot, copies it there the moment it lands, rather than
    // waking a thread of ours that may wait for a core. With a callback the acquisition thread
    // fills the buffers, one frame per callback as it always did: the callback runs there
    // anyway, and a frame filled while it runs would reach it after a stop it asked for.
    if ((flags & NIVEXA_STREAM_PROCESSED) == 0) {
      engine::CNivexaU3R5Base::FrameListener listener;
      listener.lend = [this] { return LendRawBuffer(); };
      listener.filled = [this](const engine::FrameSlotInfo* record) { RawBufferFilled(record); };
      listener.stored = [this] {
        if (running_ && !bufferQueue_.hasCallback()) {
          DeliverRawFrame(stream::BufferQueue::Callback::Deferred);
        }
      };
      engine_->SetFrameListener(std::move(listener));
    }
    if (!engine_->StartCapture(kCaptureContinuous)) {
      StopPreview();
      RecordError(NIVEXA_ERR_REGISTER);
      return 0;
    }
  }
  if (!StartAcquisitionThread(triggered ? &CNivexa::TriggerLoop : &CNivexa::BufferStreamLoop)) {
    StopPreview();
    RecordError(NIVEXA_ERR_THREAD);
    return 0;
  }
  NIVEXA_LOG(Camera, Info, "device %d: buffer stream started, %d x %d at %d bits per pixel%s%s",
             currentDevice_.load(), format->width, format->height, format->bitsPerPixel,
             (flags & NIVEXA_STREAM_PROCESSED) != 0 ? ", processed" : ", raw",
             triggered ? ", triggered" : "");
  return 1;
}

int CNivexa::StopBufferStream() {
  // From the stream's own callback: the loop is this very thread, so it cannot be waited for
  // (nor may the command lock be taken here: a command may hold it while it waits for this
  // thread). The loop ends when the callback returns; the queued buffers come back now.
  if (acquisitionThread_.isCurrent()) {
    running_ = 0;
    bufferQueue_.returnQueued(NIVEXA_BUFFER_CANCELLED);
    return 1;
  }
  AcquisitionGuard command(*this);
  if (mode_ == kModeBufferStream) {
    StopPreview();
  } else {
    // Buffers lent with no stream running still come back.
    bufferQueue_.returnQueued(NIVEXA_BUFFER_CANCELLED);
    bufferQueue_.interrupt();
  }
  return 1;
}

void CNivexa::BufferStreamLoop() {
  const imaging::ColorMode mode = StreamMode();
  const bool processed = (bufferStreamFlags_ & NIVEXA_STREAM_PROCESSED) != 0;
  while (running_) {
    const int waited = engine_->WaitForFrame(kFrameWaitMs);
    // Raw frames filled on the capture thread as a callback was set get it here, never there.
    bufferQueue_.deliverPending();
    if (!running_) {
      break;
    }
    if (waited == kWaitTransferFailed) {
      ReportStreamLost();
      break;
    }
    if (waited == kWaitNewFrame && (processed || bufferQueue_.hasCallback())) {
      DeliverToBuffer(mode, processed);
    }
  }
  // Stopped from its callback or lost: no buffer is filled after the loop, and none filled
  // before it waits for a callback that would otherwise only come with the next command.
  engine_->SetFrameListener({});
  bufferQueue_.deliverPending();
}

void CNivexa::DeliverToBuffer(imaging::ColorMode mode, bool processed) {
  if (!processed) {
    DeliverRawFrame(stream::BufferQueue::Callback::Now);
    return;
  }
  NivexaBuffer* buffer = TakeBuffer();
  if (buffer == nullptr) {
    return;
  }
  engine::FrameSlotInfo record;
  const auto format = BufferStreamFormat(true);
  bool filled = false;
  {
    platform::CriticalSectionGuard image(imageLock_);
    imaging::DibImage& raw = bitmaps_.rawFor(mode);
    filled = raw.valid() && engine_->FrameSize() <= raw.pixels().size() &&
             engine_->CopyNewestFrameRecord(raw.pixels().first(engine_->FrameSize()), &record);
    if (filled) {
      ProcessFrame(mode);
      ++processedFrames_;
      imageReady_ = 1;
      filled = bitmaps_.outputFor(mode).CopyOut(applicationMemory(*buffer), true) != 0;
    }
  }
  FinishBuffer(buffer, filled ? format : std::nullopt, record, stream::BufferQueue::Callback::Now);
}

NivexaBuffer* CNivexa::TakeBuffer() {
  NivexaBuffer* buffer = bufferQueue_.take();
  engine::FrameSlotInfo record;
  if (buffer == nullptr && engine_->CopyNewestFrameRecord({}, &record)) {
    streamStatistics_.frameArrived(record.headerCounter, record.sequence,
                                   record.arrivalNs / 1000000);
    streamStatistics_.frameDropped();
  }
  return buffer;
}

void CNivexa::DeliverRawFrame(stream::BufferQueue::Callback callback) {
  // Read into a buffer already (a callback set since): that buffer is on its way.
  if (!engine_->NewestFrameInRing()) {
    return;
  }
  NivexaBuffer* buffer = TakeBuffer();
  if (buffer == nullptr) {
    return;
  }
  engine::FrameSlotInfo record;
  const auto format = BufferStreamFormat(false);
  // Straight from the frame slot into the application's memory: the one copy of a raw frame
  // that was not read into a buffer directly.
  const bool filled =
      format && format->bytes <= buffer->capacity && engine_->FrameSize() == format->bytes &&
      engine_->CopyNewestFrameRecord(applicationMemory(*buffer).first(format->bytes), &record) != 0;
  FinishBuffer(buffer, filled ? format : std::nullopt, record, callback);
}

std::span<uint8_t> CNivexa::LendRawBuffer() {
  if (!running_ || bufferQueue_.hasCallback()) {
    return {};
  }
  // With none queued the frame goes to the ring, and its listener counts it as dropped.
  lentToCapture_ = bufferQueue_.take();
  return lentToCapture_ != nullptr ? applicationMemory(*lentToCapture_) : std::span<uint8_t>{};
}

void CNivexa::RawBufferFilled(const engine::FrameSlotInfo* record) {
  NivexaBuffer* buffer = std::exchange(lentToCapture_, nullptr);
  if (record == nullptr) {
    bufferQueue_.untake(buffer);
    return;
  }
  // The frame read is the prepared picture unless its size changed under the stream.
  const auto format = BufferStreamFormat(false);
  const bool whole = format && engine_->FrameSize() == format->bytes;
  FinishBuffer(buffer, whole ? format : std::nullopt, *record,
               stream::BufferQueue::Callback::Deferred);
}

void CNivexa::FinishBuffer(NivexaBuffer* buffer, const std::optional<BufferFormat>& filledAs,
                           const engine::FrameSlotInfo& record,
                           stream::BufferQueue::Callback callback) {
  if (record.arrivalNs != 0) {
    streamStatistics_.frameArrived(record.headerCounter, record.sequence,
                                   record.arrivalNs / 1000000);
  }
  if (filledAs) {
    buffer->frameNumber = record.headerCounter;
    buffer->reserved = 0;
    buffer->timestampNs = record.arrivalNs;
    buffer->width = filledAs->width;
    buffer->height = filledAs->height;
    buffer->bitsPerPixel = filledAs->bitsPerPixel;
    buffer->stride = filledAs->stride;
    streamStatistics_.delivered(filledAs->bytes);
    bufferQueue_.complete(buffer, NIVEXA_BUFFER_COMPLETE, callback);
  } else {
    // The frame in the slot was not the prepared picture (its size changed under the stream).
    streamStatistics_.incomplete();
    bufferQueue_.complete(buffer, NIVEXA_BUFFER_INCOMPLETE, callback);
  }
}

}  // namespace nivexa::camera

// Starting, running and stopping the capture thread, and the one-shot capture without one.
#include <algorithm>

#include "engine/CNivexaU3R5Base.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "transport/FrameHeader.h"

namespace nivexa::engine {

namespace {

constexpr int kMaxConsecutiveFailures = 5;
constexpr uint32_t kThreadEndGraceMs = 5;
constexpr uint32_t kStopSettleMs = 100;
constexpr uint32_t kOneShotGiveUpMs = 10000;
constexpr int kOneShotAttempts = 11;
// What the driver of a product with stamped frames is told when a capture stops.
constexpr int kStampedStopPeriodCode = 7;
constexpr uint32_t kStreamResetSettleMs = 100;

}  // namespace

std::shared_ptr<platform::Event> CNivexaU3R5Base::frameReadyEvent() {
  std::lock_guard lock(frameReadyMutex_);
  return frameReady_;
}

void CNivexaU3R5Base::ensureFrameReadyEvent() {
  std::lock_guard lock(frameReadyMutex_);
  if (!frameReady_) {
    frameReady_ = std::make_shared<platform::Event>(platform::Event::Reset::Auto);
  }
}

void CNivexaU3R5Base::signalFrameReady() {
  if (auto event = frameReadyEvent()) {
    event->set();
  }
}

void CNivexaU3R5Base::SetFrameListener(FrameListener listener) {
  std::lock_guard lock(frameListenerMutex_);
  frameListener_ = std::move(listener);
}

void CNivexaU3R5Base::frameStored(int32_t mode) {
  // Only a continuous capture feeds a stream; single frames and trigger runs are taken by
  // whoever waits for them.
  if (mode == kCaptureContinuous) {
    std::lock_guard lock(frameListenerMutex_);
    if (frameListener_.stored) {
      frameListener_.stored();
    }
  }
  signalFrameReady();
}

std::span<uint8_t> CNivexaU3R5Base::lendFrameMemory(std::unique_lock<std::mutex>& lent,
                                                    int32_t mode, uint32_t payloadBytes) {
  // Read straight into the consumer's memory, a frame cannot be turned round on its way there.
  const int orientation = sensor_ ? sensor_->info().orientation : sensors::kOrientationNormal;
  if (mode != kCaptureContinuous || orientation != sensors::kOrientationNormal) {
    return {};
  }
  lent = std::unique_lock(frameListenerMutex_);
  std::span<uint8_t> memory;
  if (frameListener_.lend && frameListener_.filled) {
    memory = frameListener_.lend();
    // The read fills the whole payload: memory too small for it goes back unused.
    if (!memory.empty() && memory.size() < payloadBytes) {
      frameListener_.filled(nullptr);
      memory = {};
    }
  }
  if (memory.empty()) {
    lent.unlock();
  }
  return memory;
}

void CNivexaU3R5Base::returnFrameMemory(std::unique_lock<std::mutex>& lent,
                                        const FrameSlotInfo* record) {
  if (!lent.owns_lock()) {
    return;
  }
  frameListener_.filled(record);
  lent.unlock();
}

void CNivexaU3R5Base::noteFrameTimes(uint32_t elapsedMs) {
  if (elapsedMs > 0) {
    transferRate_ = transferRateMbit(frameSize_, elapsedMs);
  }
  float rate = 0.0f;
  if (frameRateCounter_.count(platform::timeGetTime(), rate)) {
    frameRate_ = rate;
  }
}

int CNivexaU3R5Base::StartCapture(int mode) {
  std::lock_guard control(captureControl_);
  // A sensor that was never programmed would send whatever its power-up state makes of a frame.
  if (!cameraOpen_) {
    return 0;
  }
  if (running_ && threadEnd_) {
    platform::TimerPeriodGuard fineTimer;
    if (!threadEnd_->wait(kThreadEndGraceMs)) {
      StopCapture();
    }
  }
  ensureFrameReadyEvent();
  if (!SetCaptureMode(mode)) {
    return 0;
  }
  // Buffers or an FPGA that do not match the frames to come make every frame a torn one. The
  // alternative streaming interface prepares its transfers without the FPGA and says so with 0.
  if (transferSetupNeeded_ && !PrepareTransfer() && !productHas(family::kAlternativeStreaming)) {
    return 0;
  }
  joinCaptureThread();
  // A run starts with nothing unread. Frames an earlier run left unread are not this run's, and
  // with three of them in the ring the write index would come round to the read mark on this
  // run's first frame: the wait for it would answer "nothing new" and a snapshot would fail.
  ring_.setReadMark(ring_.writeIndex());
  // Nor is a signal an earlier run left behind (its failure, a frame nobody waited for) news of
  // this run.
  if (auto event = frameReadyEvent()) {
    event->reset();
  }
  // The new run has not failed: a wait right after the start must not report the old run's
  // failure before the thread has had a chance to clear it.
  transferFailed_ = 0;
  running_ = 1;
  // The thread-end event has no name: a named event is one object for every engine that asks
  // for the name, so with two cameras capturing, one thread's end would wake the other
  // engine's stop, and each start would find the other's signal.
  threadEnd_ = std::make_shared<platform::Event>(platform::Event::Reset::Auto);
  if (!captureThread_.start([this] { captureThreadBody(); },
                            platform::Thread::Priority::TimeCritical)) {
    running_ = 0;
    return 0;
  }
  if (sensor_ && !sensor_->CaptureStartHook()) {
    sensor_->CaptureStartedHook();
  }
  return 1;
}

void CNivexaU3R5Base::captureThreadBody() {
  if (productHas(family::kAlternativeStreaming)) {
    CaptureLoopAux();
  } else {
    CaptureLoop();
  }
}

void CNivexaU3R5Base::joinCaptureThread() {
  if (!captureThread_.isCurrent()) {
    captureThread_.join();
  }
}

int CNivexaU3R5Base::StopCapture() {
  std::lock_guard control(captureControl_);
  if (sensor_) {
    sensor_->CaptureStoppedHook();
    if (productHas(family::kStampedFrames)) {
      FramePeriodHook(kStampedStopPeriodCode);
    }
  }
  if (running_) {
    running_ = 0;
    platform::sleepMs(kStopSettleMs);
    if (controller_) {
      controller_->AbortStream();
    }
  }
  // Every loop ends by telling the thread-end event; joining waits for exactly that point.
  joinCaptureThread();
  platform::sleepMs(1);
  threadEnd_.reset();
  {
    std::lock_guard lock(frameReadyMutex_);
    if (frameReady_) {
      frameReady_->set();  // wakes a consumer still waiting
      frameReady_.reset();
    }
  }
  RestartStreaming();
  platform::sleepMs(5);
  captureMode_ = kCaptureContinuous;
  firstFrame_ = 1;
  triggeredFrames_ = 0;
  frameRate_ = 0.0f;
  return 1;
}

int CNivexaU3R5Base::SetCaptureMode(int mode) {
  if (!controller_) {
    return 0;
  }
  std::lock_guard control(captureControl_);
  if (mode != captureMode_) {
    StopCapture();
    ensureFrameReadyEvent();
    if (mode == kCaptureTriggered) {
      ring_.resetWriteToReadMark();
      ReadFrameCounterTag();
    }
  }
  captureMode_ = mode;
  return 1;
}

int CNivexaU3R5Base::RestartStreaming() {
  if (!controller_) {
    return 0;
  }
  if (productHas(family::kAlternativeStreaming)) {
    controller_->ResetPort();
  } else {
    if (FirmwareVersion() > kFirmwareResetsPipeAbove) {
      controller_->ResetPipe(kFrameEndpoint);
    }
    if (sensor_ && !productHas(family::kKeepsFrameOnStreamRestart)) {
      sensor_->RestartFpgaFrame();
    }
    controller_->WriteFpgaRegister(fpga::kStreamReset, fpga::kStreamResetValue);
    if (productHas(family::kSettlesAfterStreamReset)) {
      platform::sleepMs(kStreamResetSettleMs);
    }
  }
  controller_->StartStream();
  return 1;
}

int CNivexaU3R5Base::finishCaptureLoop() {
  if (controller_) {
    controller_->CloseStream();
  }
  if (transferFailed_) {
    signalFrameReady();
  }
  running_ = 0;
  if (threadEnd_) {
    threadEnd_->set();
  }
  return 1;
}

int CNivexaU3R5Base::CaptureLoop() {
  if (productHas(family::kStreamsByCommand)) {
    return CaptureLoopByCommand();
  }
  if (!controller_ || !receiveBuffer_) {
    // Still ends like every loop, or a stop would wait for this thread forever.
    finishCaptureLoop();
    return 0;
  }
  transport::FrameDescriptor frame;
  frame.receiveBuffer = std::span<uint8_t>(receiveBuffer_.get(), receiveBufferSize_);
  transferFailed_ = 0;
  int failures = 0;
  int counterFailures = 0;
  const bool streaming = controller_->OpenStream() != 0;
  if (!streaming) {
    // A triggered capture opens the stream once per frame: a camera gone between two triggers
    // is first noticed here, and the waiting consumer must hear of it rather than time out.
    NIVEXA_LOG(Engine, Warning, "capture not started: the frame stream does not open");
    transferFailed_ = 1;
  }
  while (streaming && running_) {
    if (deferredExposure_.exchange(0) && sensor_) {
      sensor_->SetExposureTicks(deferredExposureTicks_);
    }
    const int mode = captureMode_;
    if (mode == kCaptureTriggered) {
      uint8_t counter = 0;
      if (!controller_->ReadFpgaRegister(fpga::kFrameCounter, counter)) {
        // The counter is polled while waiting for a trigger; a camera that stops answering is
        // as lost as one whose frames stop arriving.
        if (++counterFailures >= kMaxConsecutiveFailures) {
          NIVEXA_LOG(Engine, Warning, "capture stopped: %d frame-counter reads failed in a row",
                     counterFailures);
          transferFailed_ = 1;
          break;
        }
        platform::sleepMs(1);
        continue;
      }
      counterFailures = 0;
      if (counter == lastFrameTag_) {
        platform::sleepMs(1);
        continue;
      }
      lastFrameTag_ = counter;
    }
    bool read = controller_->ReadFrameHeader(frame, frameTimeoutMs_) != 0;
    uint32_t started = 0;
    std::unique_lock<std::mutex> lent;
    if (read) {
      const auto header = transport::decodeFrameHeader(frame.header);
      ring_.storeHeaderInfo(header.infoA, header.frameCounter, header.infoB, header.infoC);
      if (mode != kCaptureTriggered) {
        lastFrameTag_ = static_cast<uint8_t>(header.frameCounter);
      }
      if (mode == kCaptureHeaderOnly) {
        break;
      }
      started = platform::timeGetTime();
      // A payload shorter than a frame would leave stale bytes in the slot: it is a failed read.
      if (header.payloadLength >= frameSize_) {
        const std::span<uint8_t> memory = lendFrameMemory(lent, mode, header.payloadLength);
        frame.receiveBuffer =
            memory.empty() ? std::span<uint8_t>(receiveBuffer_.get(), receiveBufferSize_) : memory;
        read = controller_->ReadFramePayload(frame, frameTimeoutMs_) != 0;
        frame.receiveBuffer = std::span<uint8_t>(receiveBuffer_.get(), receiveBufferSize_);
      } else {
        read = false;
      }
    }
    if (!read) {
      returnFrameMemory(lent, nullptr);
      controller_->CloseStream();
      if (++failures >= kMaxConsecutiveFailures) {
        NIVEXA_LOG(Engine, Warning, "capture stopped: %d frame reads failed in a row", failures);
        transferFailed_ = 1;
        signalFrameReady();
        break;
      }
      NIVEXA_LOG(Engine, Info, "frame read failed (%d in a row): reopening the stream", failures);
      if (productHas(family::kResetsPipeOnFailure)) {
        controller_->ResetPipe(kFrameEndpoint);
      }
      if (sensor_) {
        sensor_->RestartFpgaFrame();
      }
      // A stream that does not open again fails the next read, which counts towards the limit.
      controller_->OpenStream();
      continue;
    }
    const bool stamped = productHas(family::kStampedFrames);
    if (stamped && firstFrame_ && mode != kCaptureTriggered) {
      firstFrame_ = 0;
      returnFrameMemory(lent, nullptr);
      continue;
    }
    failures = 0;
    transferFailed_ = 0;
    noteFrameTimes(platform::timeGetTime() - started);
    uint64_t stamp = 0;
    uint8_t headerByte = 0;
    if (stamped) {
      const auto header = transport::decodeFrameHeader(frame.header);
      stamp = header.stamp;
      headerByte = header.legacyByte;
    }
    if (lent.owns_lock()) {
      // The frame is already where its consumer wants it; the ring keeps its record only.
      const FrameSlotInfo record = ring_.recordFrameElsewhere(lastFrameTag_, stamp, headerByte);
      returnFrameMemory(lent, &record);
      signalFrameReady();
    } else {
      // The slot takes the receive buffer as it is; its old buffer receives the next frame.
      ring_.exchangeFrame(receiveBuffer_, lastFrameTag_, stamp, headerByte);
      frame.receiveBuffer = std::span<uint8_t>(receiveBuffer_.get(), receiveBufferSize_);
      frameStored(mode);
    }
    if (mode == kCaptureOneFrame) {
      break;
    }
    if (mode == kCaptureTriggered) {
      ++triggeredFrames_;
      break;
    }
  }
  return finishCaptureLoop();
}

int CNivexaU3R5Base::CaptureLoopAux() {
  if (!controller_ || !receiveBuffer_) {
    finishCaptureLoop();
    return 0;
  }
  transport::FrameDescriptor frame;
  frame.receiveBuffer = std::span<uint8_t>(receiveBuffer_.get(), receiveBufferSize_);
  controller_->StartStream();
  controller_->OpenStream();
  uint32_t lastSuccess = platform::timeGetTime();
  int failures = 0;
  while (running_) {
    frame.auxReadLength = frameSize_;
    const uint32_t started = platform::timeGetTime();
    if (controller_->ReadFrameAux(frame)) {
      failures = 0;
      lastSuccess = platform::timeGetTime();
      noteFrameTimes(lastSuccess - started);
      ring_.storeFrame(std::span<const uint8_t>(receiveBuffer_.get(), frameSize_), lastFrameTag_);
      frameStored(captureMode_);
      if (captureMode_ == kCaptureOneFrame) {
        break;
      }
      continue;
    }
    if (platform::timeGetTime() - lastSuccess > 9999 || ++failures >= 11) {
      NIVEXA_LOG(Engine, Warning, "capture stopped: %d frame reads failed", failures);
      transferFailed_ = 1;
      break;
    }
    NIVEXA_LOG(Engine, Info, "frame read failed (%d in a row): resetting the port", failures);
    controller_->ResetPort();
    controller_->StartStream();
    controller_->ResetPipe(kFrameEndpoint);
  }
  return finishCaptureLoop();
}

int CNivexaU3R5Base::CaptureLoopByCommand() {
  if (!controller_ || !receiveBuffer_) {
    finishCaptureLoop();
    return 0;
  }
  transferFailed_ = 0;
  controller_->OpenStream();
  int failures = 0;
  uint64_t bytesSinceReport = 0;
  uint32_t lastReport = platform::timeGetTime();
  while (running_) {
    if (deferredExposure_.exchange(0) && sensor_) {
      sensor_->SetExposureTicks(deferredExposureTicks_);
    }
    const int mode = captureMode_;
    if (mode == kCaptureHeaderOnly) {
      break;
    }
    uint32_t length = frameSize_;
    const uint32_t limit = mode == kCaptureTriggered ? platform::kInfinite : frameTimeoutMs_.load();
    if (controller_->ReadFrameByCommand(
            std::span<uint8_t>(receiveBuffer_.get(), receiveBufferSize_), length, limit)) {
      failures = 0;
      bytesSinceReport += length;
      float rate = 0.0f;
      const uint32_t now = platform::timeGetTime();
      if (frameRateCounter_.count(now, rate)) {
        frameRate_ = rate;
        if (now != lastReport) {
          transferRate_ = static_cast<double>(bytesSinceReport / 1024) * 0.0078125 /
                          (static_cast<double>(now - lastReport) / 1000.0);
        }
        bytesSinceReport = 0;
        lastReport = now;
      }
      ring_.storeFrame(std::span<const uint8_t>(receiveBuffer_.get(), frameSize_), lastFrameTag_);
      frameStored(mode);
      if (mode == kCaptureOneFrame) {
        break;
      }
      if (mode == kCaptureTriggered) {
        ++triggeredFrames_;
        break;
      }
      continue;
    }
    controller_->CloseStream();
    RestartStreaming();
    if (++failures >= 10) {
      NIVEXA_LOG(Engine, Warning, "capture stopped: %d frame reads failed in a row", failures);
      transferFailed_ = 1;
      signalFrameReady();
      break;
    }
    NIVEXA_LOG(Engine, Info, "frame read failed (%d in a row): restarting the stream", failures);
    if (sensor_) {
      sensor_->RestartFpgaFrame();
    }
    controller_->StartStream();
    controller_->OpenStream();
  }
  return finishCaptureLoop();
}

int CNivexaU3R5Base::CaptureOneFrame() {
  if (!controller_ || !cameraOpen_) {
    return 2;
  }
  if (transferSetupNeeded_) {
    PrepareTransfer();
  }
  if (!receiveBuffer_) {
    return 2;
  }
  transport::FrameDescriptor frame;
  frame.receiveBuffer = std::span<uint8_t>(receiveBuffer_.get(), receiveBufferSize_);
  if (productHas(family::kAlternativeStreaming)) {
    controller_->StartStream();
  }
  transferFailed_ = 0;
  const uint32_t start = platform::timeGetTime();
  if (controller_->OpenStream()) {
    for (int attempt = 1;; ++attempt) {
      bool read = false;
      if (productHas(family::kAlternativeStreaming)) {
        frame.auxReadLength = frameSize_;
        read = controller_->ReadFrameAux(frame) != 0;
      } else if (controller_->ReadFrameHeader(frame, kOneShotLimitMs)) {
        const auto header = transport::decodeFrameHeader(frame.header);
        read = header.payloadLength >= frameSize_ &&
               controller_->ReadFramePayload(frame, kOneShotLimitMs) != 0;
      }
      if (read) {
        ring_.storeFrameAt(0, std::span<const uint8_t>(receiveBuffer_.get(), frameSize_),
                           frame.frameCounter & 0xFF);
        transferFailed_ = 0;
        break;
      }
      if (platform::timeGetTime() - start >= kOneShotGiveUpMs || attempt >= kOneShotAttempts) {
        transferFailed_ = 1;
        break;
      }
      if (productHas(family::kAlternativeStreaming)) {
        controller_->ResetPort();
      }
    }
  }
  controller_->CloseStream();
  if (threadEnd_) {
    threadEnd_->set();
  }
  running_ = 0;
  return 0;
}

int CNivexaU3R5Base::SetFrameTimeout(uint32_t milliseconds) {
  frameTimeoutMs_ = milliseconds;
  return 1;
}

int CNivexaU3R5Base::WaitForFrame(uint32_t milliseconds) {
  if (transferFailed_) {
    return kWaitTransferFailed;
  }
  auto event = frameReadyEvent();
  if (!event || !event->wait(milliseconds)) {
    return kWaitNoNewFrame;
  }
  if (ring_.hasNewFrame()) {
    return kWaitNewFrame;
  }
  // A capture that failed signals as it ends. Asked again only before the wait, a failure that
  // came while this thread was on its way to the wait would read as "nothing new", and a
  // triggered loop would start the next capture, which clears it: a lost camera then goes
  // unreported for as long as that race keeps being lost.
  return transferFailed_ ? kWaitTransferFailed : kWaitNoNewFrame;
}

}  // namespace nivexa::engine

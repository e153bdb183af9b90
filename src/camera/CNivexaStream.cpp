// Stream preparation, the two acquisition loops, and the way a frame takes from the engine's
// ring to the caller: raw bitmap, pipeline, output bitmap, caller's buffer.
#include <atomic>
#include <chrono>

#include "camera/CNivexa.h"
#include "camera/CaptureArea.h"
#include "engine/EngineConstants.h"
#include "platform/Clock.h"
#include "platform/Messages.h"

namespace nivexa::camera {

using engine::kCaptureTriggered;
using engine::kWaitNewFrame;
using engine::kWaitTransferFailed;

namespace {

constexpr uint32_t kPreviewFrameWaitMs = 3000;
constexpr uint32_t kTriggerFrameWaitMs = 60000;
constexpr uint32_t kRateIntervalMs = 1000;
constexpr int kOutputDepth8 = 0;
constexpr int kOutputDepth16 = 1;

bool isSixteenBitMode(imaging::ColorMode mode) {
  return mode == imaging::ColorMode::Mono16 || mode == imaging::ColorMode::Bgr48 ||
         mode == imaging::ColorMode::Bgr64;
}

template <typename T>
void publish(T& field, T value) {
  std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

}  // namespace

imaging::ColorMode CNivexa::StreamMode() const {
  int32_t mode = preparedMode_;
  if (mode < 0) {
    mode = colorMode_;
  }
  return mode >= 0 && mode <= 5 ? static_cast<imaging::ColorMode>(mode) : imaging::ColorMode::Mono8;
}

void CNivexa::RefreshRealExposure() {
  analog_.realExposureUs = analog_.exposureTicks * 100;
}

int CNivexa::PrepareStream() {
  if (currentDevice_ < 0 || !engine_->IsDeviceNumberValid(engine_->GetDeviceNumber())) {
    RecordError(NIVEXA_ERR_DEVICE);
    return 0;
  }
  const int32_t width = frameWidth_;
  const int32_t height = frameHeight_;
  const int32_t x = horizontalStart_;
  const int32_t y = verticalStart_;
  const int32_t subsample = subsample_;
  const engine::ArraySize sensor = SensorSize();
  if (!validCaptureArea({x, y, width, height}, subsample, sensor.width, sensor.height)) {
    RecordError(NIVEXA_ERR_FORMAT);
    return 0;
  }
  const int32_t divisor = subsampleDivisor(subsample);
  const int32_t mode = colorMode_ >= 0 && colorMode_ <= 5 ? colorMode_.load() : 0;
  const auto colorMode = static_cast<imaging::ColorMode>(mode);
  {
    platform::CriticalSectionGuard image(imageLock_);
    preparedMode_ = mode;
    if (!imaging::createFrameBitmaps(bitmaps_, colorMode, width / divisor, height / divisor)) {
      RecordError(NIVEXA_ERR_MEMORY);
      return 0;
    }
  }
  engine_->SetOutputDepth(isSixteenBitMode(colorMode) ? kOutputDepth16 : kOutputDepth8);
  if (!engine_->SetReadoutWindow(x, y, width, height, subsample)) {
    RecordError(NIVEXA_ERR_FORMAT);
    return 0;
  }
  engine_->SetMirrorV(params_.mirrorV);
  engine_->SetMirrorH(params_.mirrorH);
  engine_->SetTriggerMode(0, 1);
  engine_->SetAnalogGain(analog_.globalGain);
  engine_->SetColourGainGreen1(analog_.colourGainGreen1);
  engine_->SetColourGainRed(analog_.colourGainRed);
  engine_->SetColourGainBlue(analog_.colourGainBlue);
  engine_->SetColourGainGreen2(analog_.colourGainGreen2);
  if (engine_->ExposureSecondsSupported()) {
    engine_->SetExposureSeconds(analog_.exposureSeconds);
  } else {
    engine_->SetExposureTicks(analog_.exposureTicks);
  }
  RefreshRealExposure();
  if (engine_->HasGainMode()) {
    engine_->SetGainMode(0);
    engine_->SetGainMode(analog_.gainMode);
  }
  if (engine_->BlackLevelSupported()) {
    engine_->SetBlackLevel(analog_.blackLevel);
  }
  engine_->SensorHook();
  PrepareDisplay(colorMode);
  return 1;
}

bool CNivexa::CopyNewestFrame(imaging::ColorMode mode) {
  imaging::DibImage& raw = bitmaps_.rawFor(mode);
  if (!raw.valid()) {
    return false;
  }
  // The engine's frame must be exactly the prepared picture: anything else would be a torn or
  // shifted image.
  const size_t packed = static_cast<size_t>(raw.width()) *
                        static_cast<size_t>(raw.bytesPerPixel()) *
                        static_cast<size_t>(raw.height());
  if (engine_->FrameSize() != packed) {
    return false;
  }
  // Top row first, with the sensor's orientation applied: row 0 is the top of the picture.
  return engine_->CopyNewestFrameStamped(raw.pixels(), nullptr, nullptr) != 0;
}

void CNivexa::ProcessFrame(imaging::ColorMode mode) {
  const auto start = std::chrono::steady_clock::now();
  imaging::processFrame(mode, bitmaps_, params_, *this);
  lastPipelineNs_.store(static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                  std::chrono::steady_clock::now() - start)
                                                  .count()),
                        std::memory_order_relaxed);
}

int CNivexa::CopyOutput(imaging::ColorMode mode, uint8_t* buffer, int32_t size, int32_t rowOrder) {
  const imaging::DibImage& output = bitmaps_.outputFor(mode);
  const size_t bytes = size > 0 && buffer != nullptr ? static_cast<size_t>(size) : 0;
  if (!output.CopyOut(std::span<uint8_t>(buffer, bytes), rowOrder != 0)) {
    RecordError(NIVEXA_ERR_MEMORY);
    return 0;
  }
  return 1;
}

void CNivexa::FillFrameInfo(const imaging::DibImage& raw, imaging::ColorMode mode,
                            int32_t frameRate) {
  publish(frameInfo_.reserved, LONG{0});
  publish(frameInfo_.width, static_cast<LONG>(raw.width()));
  publish(frameInfo_.height, static_cast<LONG>(raw.height()));
  publish(frameInfo_.bitsPerPixel, static_cast<LONG>(imaging::colorModeBits(mode)));
  publish(frameInfo_.frameRate, static_cast<LONG>(frameRate));
  publish(frameInfo_.buffer, static_cast<BYTE*>(callback_.buffer));
}

void CNivexa::PostFrameMessage(uintptr_t wParam, intptr_t lParam) {
  if (HWND window = callbackWindow_.load(); window != nullptr) {
    platform::postMessage(window, NIVEXA_WM_FRAME, wParam, lParam);
  }
}

int32_t CNivexa::CountFrameForRate() {
  ++frameCounter_;
  const uint32_t now = platform::timeGetTime();
  const uint32_t elapsed = now - rateTime_;
  if (elapsed > kRateIntervalMs) {
    frameRate_ = static_cast<int32_t>(static_cast<int64_t>(frameCounter_) * 10000 / elapsed);
    frameCounter_ = 0;
    rateTime_ = now;
  }
  return frameRate_;
}

// The newest frame through the pipeline to the window and the caller's buffer. False when it
// could not be delivered; that failure has then been announced.
bool CNivexa::DeliverNewestFrame(imaging::ColorMode mode, bool countRate) {
  platform::CriticalSectionGuard image(imageLock_);
  if (!CopyNewestFrame(mode)) {
    PostFrameMessage(0, NIVEXA_ERR_FRAME);
    RecordError(NIVEXA_ERR_FRAME);
    return false;
  }
  FillFrameInfo(bitmaps_.rawFor(mode), mode, countRate ? CountFrameForRate() : 0);
  ProcessFrame(mode);
  ++processedFrames_;
  imageReady_ = 1;
  DrawPreview(mode);
  const CallbackTarget target = callback_;
  if (target.buffer != nullptr && target.size != 0 &&
      !CopyOutput(mode, target.buffer, target.size, target.rowOrder)) {
    PostFrameMessage(0, NIVEXA_ERR_MEMORY);
    return false;
  }
  return true;
}

void CNivexa::ReportStreamLost() {
  running_ = 0;
  deviceLost_ = 1;
  // Recorded before the message goes out, so an application that asks for the reason on
  // receiving it finds it on the stack.
  RecordError(NIVEXA_ERR_STREAM_LOST);
  if (mode_ == kModeBufferStream) {
    streamStatistics_.failed(bufferQueue_.returnQueued(NIVEXA_BUFFER_FAILED));
  }
  PostFrameMessage(0, NIVEXA_ERR_STREAM_LOST);
}

void CNivexa::PreviewLoop() {
  const imaging::ColorMode mode = StreamMode();
  const std::shared_ptr<platform::Event> stop = acquisitionStop_;
  while (running_) {
    if (stop->wait(static_cast<uint32_t>(waitTimeMs_.load())) || !running_) {
      break;
    }
    const int waited = engine_->WaitForFrame(kPreviewFrameWaitMs);
    if (waited == kWaitTransferFailed) {
      ReportStreamLost();
      break;
    }
    if (waited != kWaitNewFrame) {
      continue;
    }
    if (DeliverNewestFrame(mode, true) && running_ == 1) {
      PostFrameMessage(reinterpret_cast<uintptr_t>(&frameInfo_), 0);
    }
  }
}

void CNivexa::TriggerLoop() {
  const imaging::ColorMode mode = StreamMode();
  // Lets the exposure under way when the mode switched finish before frames are counted.
  const uint32_t settleMs = static_cast<uint32_t>(analog_.exposureTicks.load() / 10 + 100);
  const std::shared_ptr<platform::Event> stop = acquisitionStop_;
  if (stop->wait(settleMs)) {
    return;
  }
  engine_->ReadFrameCounterTag();
  while (running_) {
    if (!engine_->StartCapture(kCaptureTriggered)) {
      // A stop clears the engine's capture under the loop; only a failure of its own is news.
      if (running_) {
        ReportStreamLost();
      }
      break;
    }
    const int waited = engine_->WaitForFrame(kTriggerFrameWaitMs);
    if (!running_) {
      break;
    }
    if (waited == kWaitTransferFailed) {
      ReportStreamLost();
      break;
    }
    if (waited != kWaitNewFrame) {
      continue;
    }
    if (mode_ == kModeBufferStream) {
      DeliverToBuffer(mode, (bufferStreamFlags_ & NIVEXA_STREAM_PROCESSED) != 0);
    } else if (DeliverNewestFrame(mode, false)) {
      PostFrameMessage(reinterpret_cast<uintptr_t>(&frameInfo_), 0);
    }
  }
}

// ---- PipelineHost ----

bool CNivexa::engineMirrorsHorizontally() {
  return engine_ && engine_->MirrorHSupported() != 0;
}

bool CNivexa::engineMirrorsVertically() {
  return engine_ && engine_->MirrorVSupported() != 0;
}

int32_t CNivexa::currentGain() {
  return engine_->GetAnalogGain();
}

int32_t CNivexa::gainMinimum() {
  return engine_->GetAnalogGainMin();
}

int32_t CNivexa::gainMaximum() {
  return engine_->GetAnalogGainMax();
}

void CNivexa::setAutoGain(int32_t gain) {
  engine_->SetAnalogGain(gain);
  analog_.globalGain = gain;
  analog_.colourGainRed = gain;
  analog_.colourGainGreen1 = gain;
  analog_.colourGainGreen2 = gain;
  analog_.colourGainBlue = gain;
  dialogRefresh_ = 1;
}

int32_t CNivexa::currentExposure() {
  return engine_->GetExposureTicks();
}

int32_t CNivexa::exposureMinimum() {
  return engine_->GetExposureTicksMin();
}

int32_t CNivexa::exposureMaximum() {
  return engine_->GetExposureTicksMax();
}

void CNivexa::setAutoExposure(int32_t exposure) {
  engine_->SetExposureTicks(exposure);
  analog_.exposureTicks = exposure;
  if (engine_->ExposureSecondsSupported()) {
    double seconds = 0.0;
    if (engine_->GetExposureSeconds(&seconds)) {
      analog_.exposureSeconds = seconds;
    }
    RefreshRealExposure();
  }
  dialogRefresh_ = 1;
}

void CNivexa::applyMaskFilter(imaging::DibImage& raw) {
  platform::CriticalSectionGuard mask(maskLock_);
  mask_.ApplyMaskFilter(raw, SensorWindowNow());
}

void CNivexa::applyDotFilter(imaging::DibImage& raw, int32_t threshold) {
  platform::CriticalSectionGuard mask(maskLock_);
  mask_.ApplyDotFilter(raw, SensorWindowNow(), threshold);
}

}  // namespace nivexa::camera

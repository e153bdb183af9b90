// The acquisition commands and their mode rules (the mode field is an AcquisitionMode). Commands
// run one at a time under the command lock; the acquisition thread never takes it, so a command may
// wait for that thread to end.
#include <mutex>

#include "camera/CNivexa.h"
#include "engine/EngineConstants.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Messages.h"

namespace nivexa::camera {

using engine::kCaptureContinuous;
using engine::kCaptureOneFrame;
using engine::kWaitNewFrame;

namespace {

// How long StopPreview waits for the loop before it stops the engine's capture again: a loop
// that was just restarting the capture when it was told to stop is woken this way.
constexpr uint32_t kStopRetryMs = 50;

}  // namespace

int CNivexa::ReplacePreviewWindow() {
  ClosePreviewWindow();
  if (!OpenPreviewWindow()) {
    RecordError(NIVEXA_ERR_WINDOW);
    return 0;
  }
  return 1;
}

int CNivexa::Preview() {
  return CallBackPreview(nullptr, nullptr, 0, 0);
}

void CNivexa::SetCallbackTarget(HWND window, uint8_t* buffer, int32_t size, int32_t rowOrder) {
  platform::CriticalSectionGuard image(imageLock_);
  callbackWindow_ = window;
  callback_ = {buffer, size, rowOrder};
}

int CNivexa::CallBackPreview(HWND window, uint8_t* buffer, int32_t size, int32_t rowOrder) {
  AcquisitionGuard command(*this);
  SetCallbackTarget(window, buffer, size, rowOrder);
  // One window per object: a further preview replaces the earlier window.
  if (PlacementSet() && !ReplacePreviewWindow()) {
    return 0;
  }
  if (!StartPreview()) {
    Close();
    RecordError(NIVEXA_ERR_FRAME);
    return 0;
  }
  return 1;
}

int CNivexa::StartPreview() {
  AcquisitionGuard command(*this);
  if (!RequireEngine()) {
    return 0;
  }
  const int32_t mode = mode_;
  if (mode == kModePreview) {
    return 1;
  }
  if (mode != kModeIdle) {
    RecordError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  if (!PrepareStream()) {
    return 0;
  }
  if (!engine_->StartCapture(kCaptureContinuous)) {
    StopPreview();
    RecordError(NIVEXA_ERR_REGISTER);
    return 0;
  }
  mode_ = kModePreview;
  if (!StartAcquisitionThread(&CNivexa::PreviewLoop)) {
    StopPreview();
    RecordError(NIVEXA_ERR_THREAD);
    return 0;
  }
  NIVEXA_LOG(Camera, Info, "device %d: stream started, %d x %d at %d bits per pixel",
             currentDevice_.load(), frameWidth_.load(), frameHeight_.load(),
             imaging::colorModeBits(StreamMode()));
  return 1;
}

int CNivexa::StartAcquisitionThread(void (CNivexa::*loop)()) {
  // A loop that ended by itself (its camera was lost) was never joined.
  acquisitionThread_.join();
  // The rate is measured over this stream only, not from whenever the last one ended.
  frameCounter_ = 0;
  rateTime_ = platform::timeGetTime();
  frameRate_ = 0;
  running_ = 1;
  acquisitionEnd_ = std::make_shared<platform::Event>(platform::Event::Reset::Manual);
  acquisitionStop_ = std::make_shared<platform::Event>(platform::Event::Reset::Manual);
  auto end = acquisitionEnd_;
  if (!acquisitionThread_.start([this, loop, end] {
        (this->*loop)();
        end->set();
      })) {
    running_ = 0;
    return 0;
  }
  return 1;
}

int CNivexa::StopPreview() {
  AcquisitionGuard command(*this);
  if (!RequireEngine()) {
    return 0;
  }
  // The recording ends first, completing its file while the last frames are still there.
  recorder_.Stop();
  running_ = 0;
  if (acquisitionStop_) {
    acquisitionStop_->set();
  }
  if (const int32_t stopped = mode_.exchange(kModeIdle); stopped != kModeIdle) {
    engine_->StopCapture();
    NIVEXA_LOG(Camera, Info, "device %d: stream stopped (mode %d)", currentDevice_.load(), stopped);
  }
  // Whatever acquisition runs next fills no lent buffer behind its own back.
  engine_->SetFrameListener({});
  if (acquisitionEnd_) {
    // A teardown that runs on the acquisition thread itself (its last reference dropped there)
    // must not wait for its own end; the loop is finishing anyway.
    if (!acquisitionThread_.isCurrent()) {
      while (!acquisitionEnd_->wait(kStopRetryMs)) {
        engine_->StopCapture();
      }
      acquisitionThread_.join();
    }
    acquisitionEnd_.reset();
    acquisitionStop_.reset();
  }
  // With the loop gone no buffer is being filled: the ones still lent come back unwritten, and
  // anyone waiting for a buffer hears of the stop. Buffers lent from now on are for whatever
  // stream starts next, whose frame size is not known yet.
  bufferQueue_.setRequiredBytes(0);
  bufferQueue_.returnQueued(NIVEXA_BUFFER_CANCELLED);
  bufferQueue_.interrupt();
  return 1;
}

int CNivexa::Capture() {
  AcquisitionGuard command(*this);
  if (!RequireEngine()) {
    return 0;
  }
  const int32_t mode = mode_;
  if (mode == kModeCapture) {
    return 1;
  }
  if (mode != kModeIdle) {
    RecordError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  if (!PrepareStream()) {
    return 0;
  }
  mode_ = kModeCapture;
  return 1;
}

int CNivexa::SnapShot(uint8_t* buffer, int32_t size, int32_t rowOrder) {
  std::lock_guard acquisition(acquisitionLock_);
  std::unique_lock command(commandLock_);
  if (!RequireEngine()) {
    return 0;
  }
  const int32_t mode = mode_;
  if (mode == kModePreview || mode == kModeTrigger || mode == kModeBufferStream) {
    RecordError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  if (mode == kModeIdle && !PrepareStream()) {
    return 0;
  }
  const bool keepRunning = mode == kModeCapture;
  const imaging::ColorMode streamMode = StreamMode();
  const auto fail = [&](uint32_t code) {
    if (!keepRunning) {
      engine_->StopCapture();
    }
    RecordError(code);
    return 0;
  };
  if (!engine_->StartCapture(kCaptureOneFrame)) {
    return fail(NIVEXA_ERR_FRAME);
  }
  // The wait may last a long exposure: parameter calls go on meanwhile, as during a preview,
  // while the acquisition lock keeps every command that could stop or reshape this capture out.
  command.unlock();
  const int waited = engine_->WaitForFrame(static_cast<uint32_t>(frameTimeoutMs_.load()));
  command.lock();
  if (waited != kWaitNewFrame) {
    return fail(NIVEXA_ERR_FRAME);
  }
  platform::CriticalSectionGuard image(imageLock_);
  if (!CopyNewestFrame(streamMode)) {
    PostFrameMessage(0, NIVEXA_ERR_FRAME);
    return fail(NIVEXA_ERR_FRAME);
  }
  ProcessFrame(streamMode);
  ++processedFrames_;
  imageReady_ = 1;
  if (buffer != nullptr && size != 0 && !CopyOutput(streamMode, buffer, size, rowOrder)) {
    return fail(NIVEXA_ERR_MEMORY);
  }
  if (!keepRunning) {
    engine_->StopCapture();
  }
  return 1;
}

int CNivexa::GetImage(uint8_t* buffer, int32_t size, int32_t rowOrder) {
  if (!RequireEngine()) {
    return 0;
  }
  platform::CriticalSectionGuard image(imageLock_);
  const imaging::ColorMode mode = StreamMode();
  if (!bitmaps_.outputFor(mode).valid() || buffer == nullptr) {
    RecordError(NIVEXA_ERR_MEMORY);
    return 0;
  }
  if (!CopyOutput(mode, buffer, size, rowOrder)) {
    RecordError(NIVEXA_ERR_MEMORY);
    return 0;
  }
  return 1;
}

int CNivexa::Trigger(HWND window, uint8_t* buffer, int32_t size, int32_t rowOrder) {
  AcquisitionGuard command(*this);
  if (!RequireEngine()) {
    return 0;
  }
  // Also refused while triggering already: the object has one acquisition thread, and a second
  // trigger loop must never run beside the first.
  if (mode_ != kModeIdle) {
    RecordError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  SetCallbackTarget(window, buffer, size, rowOrder);
  if (PlacementSet() && !ReplacePreviewWindow()) {
    return 0;
  }
  if (!PrepareStream()) {
    Close();
    return 0;
  }
  mode_ = kModeTrigger;
  frameTimeoutMs_ = kTriggerTimeoutMs;
  engine_->SetFrameTimeout(kTriggerTimeoutMs);
  engine_->SetTriggerMode(1, 0);
  if (!StartAcquisitionThread(&CNivexa::TriggerLoop)) {
    Close();
    RecordError(NIVEXA_ERR_THREAD);
    return 0;
  }
  NIVEXA_LOG(Camera, Info, "device %d: triggered stream started, %d x %d", currentDevice_.load(),
             frameWidth_.load(), frameHeight_.load());
  return 1;
}

int CNivexa::Close() {
  AcquisitionGuard command(*this);
  ClosePreviewWindow();
  StopPreview();
  imageReady_ = 0;
  if (engine_) {
    engine_->StopCapture();
  }
  return 1;
}

}  // namespace nivexa::camera

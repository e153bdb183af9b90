// Recording the processed frames into an AVI file: the stream runs as a preview, and the
// recorder takes the newest output bitmap at its own pace.
#include <mutex>

#include "camera/CNivexa.h"

namespace nivexa::camera {

namespace {

constexpr int32_t kShowWindow = 1;
constexpr uint32_t kMillisecondsPerSecond = 1000;

// The fastest rate the stream can deliver at the programmed geometry and exposure. The period is
// rounded down to whole milliseconds and the rate up, so the bound is never below the real rate.
uint32_t framesPerSecondBound(int framePeriodMs) {
  if (framePeriodMs <= 0) {
    return 0;
  }
  const auto period = static_cast<uint32_t>(framePeriodMs);
  return (kMillisecondsPerSecond + period - 1) / period;
}

}  // namespace

int CNivexa::Record(const char* path, int32_t durationMs, int32_t showWindow) {
  if (path == nullptr || path[0] == '\0') {
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  if (!RequireEngine()) {
    return 0;
  }
  AcquisitionGuard command(*this);
  // Nothing goes to an application's buffer while a recording takes the frames.
  SetCallbackTarget(nullptr, nullptr, 0, 0);
  if (showWindow == kShowWindow && PlacementSet() && !ReplacePreviewWindow()) {
    return 0;
  }
  if (!StartPreview()) {
    Close();
    RecordError(NIVEXA_ERR_TEXT);
    return 0;
  }
  output::RecordingOptions options;
  // A negative duration cannot be meant; it records as briefly as a duration of 0 does.
  options.durationMs = durationMs > 0 ? static_cast<uint32_t>(durationMs) : 0;
  // Read after the stream has started, when the exposure of this stream is programmed.
  options.maxFramesPerSecond = framesPerSecondBound(engine_->FramePeriodMs());
  const uint32_t code = recorder_.Start(path, options, *this, [this](uint32_t failure) {
    // The file could not be written whole: it has been completed as far as it went.
    RecordError(failure);
  });
  if (code != 0) {
    Close();
    RecordError(code);
    return 0;
  }
  return 1;
}

std::optional<output::FrameGeometry> CNivexa::CurrentGeometry() {
  platform::CriticalSectionGuard image(imageLock_);
  const imaging::DibImage& output = bitmaps_.outputFor(StreamMode());
  if (!output.valid()) {
    return std::nullopt;
  }
  return output::FrameGeometry{output.width(), output.height(), output.bitsPerPixel()};
}

uint64_t CNivexa::UseNewerFrame(uint64_t after,
                                const std::function<void(const imaging::DibImage&)>& use) {
  platform::CriticalSectionGuard image(imageLock_);
  const uint64_t newest = processedFrames_.load();
  if (newest <= after) {
    return after;
  }
  const imaging::DibImage& output = bitmaps_.outputFor(StreamMode());
  if (output.valid()) {
    use(output);
  }
  return newest;
}

}  // namespace nivexa::camera

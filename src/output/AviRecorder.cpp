#include "output/AviRecorder.h"

#include <algorithm>
#include <vector>

#include "imaging/ConversionKernels.h"
#include "platform/Clock.h"
#include "platform/Log.h"

namespace nivexa::output {

namespace {

constexpr uint32_t kWriteError = 12;
constexpr uint32_t kThreadError = 3;

}  // namespace

AviRecorder::~AviRecorder() {
  Stop();
}

uint64_t AviRecorder::MostFrames(const RecordingOptions& options) {
  // At most one frame per look, plus the frame that ends the recording; the margin covers a
  // look that ends a hair early against the millisecond clock.
  uint64_t frames = options.durationMs / kPollMs + 3;
  if (options.maxFramesPerSecond != 0) {
    const uint64_t byRate = uint64_t{options.durationMs} * options.maxFramesPerSecond / 1000 + 3;
    frames = std::min(frames, byRate);
  }
  return frames;
}

uint32_t AviRecorder::Start(const std::string& path, const RecordingOptions& options,
                            RecordingSource& source, ErrorSink onError) {
  Stop();
  const std::optional<FrameGeometry> geometry = source.CurrentGeometry();
  if (!geometry || imaging::bgr24FlippedKernelFor(geometry->bitsPerPixel) == nullptr) {
    return kWriteError;
  }
  AviFormat format;
  format.width = geometry->width;
  format.height = geometry->height;
  format.sourceBitsPerPixel = static_cast<uint16_t>(geometry->bitsPerPixel);
  format.maxFrames = MostFrames(options);
  if (!writer_.Open(path, format, options.limits)) {
    NIVEXA_LOG(Output, Error, "cannot create the recording '%s'", path.c_str());
    return kWriteError;
  }
  source_ = &source;
  onError_ = std::move(onError);
  stop_.reset();
  finished_.reset();
  recording_ = true;
  const uint32_t duration = options.durationMs;
  if (!thread_.start([this, duration, g = *geometry] { run(duration, g); })) {
    recording_ = false;
    (void)writer_.Close(AviWriter::kOpenRate);
    finished_.set();
    return kThreadError;
  }
  return 0;
}

void AviRecorder::Stop() {
  stop_.set();
  thread_.join();
}

RecordingStats AviRecorder::LastStats() const {
  std::lock_guard<std::mutex> guard(statsMutex_);
  return stats_;
}

void AviRecorder::run(uint32_t durationMs, FrameGeometry geometry) {
  const imaging::Kernel convert = imaging::bgr24FlippedKernelFor(geometry.bitsPerPixel);
  imaging::DibImage rows;
  const bool haveRows = rows.Create(geometry.width, geometry.height, 24) != 0;
  uint64_t seen = 0;
  uint64_t frames = 0;
  uint32_t start = 0;
  uint32_t end = 0;
  uint32_t last = 0;
  bool failed = !haveRows;

  while (haveRows && !stop_.wait(kPollMs)) {
    bool converted = false;
    const uint64_t number = source_->UseNewerFrame(seen, [&](const imaging::DibImage& frame) {
      // A frame of another format (the colour mode changed underneath) does not belong here.
      if (frame.width() != geometry.width || frame.height() != geometry.height ||
          frame.bitsPerPixel() != geometry.bitsPerPixel) {
        return;
      }
      converted = imaging::ApplyKernel(rows, convert, frame, nullptr, 0, 0, nullptr) != 0;
    });
    if (number == seen) {
      continue;
    }
    seen = number;
    if (!converted) {
      continue;
    }
    const uint32_t now = platform::timeGetTime();
    if (frames == 0) {
      start = now;
      end = now + durationMs;
    }
    const AppendResult result = writer_.AppendFrame(rows.pixels());
    if (result == AppendResult::WriteFailed) {
      failed = true;
      break;
    }
    if (result != AppendResult::Written) {
      break;
    }
    ++frames;
    last = now;
    if (static_cast<int32_t>(now - end) > 0) {
      break;
    }
  }

  const uint32_t rate = AviWriter::MeasuredRate(writer_.FrameCount(), last - start);
  const bool complete = writer_.Close(rate);
  {
    std::lock_guard<std::mutex> guard(statsMutex_);
    stats_.frames = writer_.FrameCount();
    stats_.rate = rate;
    stats_.fileBytes = writer_.FileBytes();
    stats_.writeFailed = failed || !complete;
  }
  NIVEXA_LOG(Output, Info, "recording ended: %llu frames, rate %u/100, %llu bytes%s",
             static_cast<unsigned long long>(writer_.FrameCount()), rate,
             static_cast<unsigned long long>(writer_.FileBytes()),
             failed || !complete ? ", not all of it written" : "");
  recording_ = false;
  if ((failed || !complete) && onError_) {
    onError_(kWriteError);
  }
  finished_.set();
}

}  // namespace nivexa::output

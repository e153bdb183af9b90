#include "output/AviRecorder.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "imaging/kernels/ConvertKernels.h"
#include "output/FramePipe.h"
#include "platform/Clock.h"
#include "platform/FileIO.h"
#include "platform/Log.h"

namespace nivexa::output {

namespace {

constexpr uint32_t kWriteError = 12;
constexpr uint32_t kThreadError = 3;
// Frames that may wait for the disk: enough to ride out the pauses of a page-cache flush.
constexpr size_t kBuffers = 4;

}  // namespace

AviRecorder::~AviRecorder() {
  Stop();
}

uint64_t AviRecorder::MostFrames(const RecordingOptions& options) {
  // Looks are planned 10 ms apart and none comes before its plan, so a window holds at most
  // one look per 10 ms plus two; one more frame ends the recording, and one covers the
  // different millisecond clock that times the frames.
  uint64_t frames = options.durationMs / kPollMs + 4;
  if (options.maxFramesPerSecond != 0) {
    const uint64_t byRate = uint64_t{options.durationMs} * options.maxFramesPerSecond / 1000 + 4;
    frames = std::min(frames, byRate);
  }
  return frames;
}

uint32_t AviRecorder::Start(const std::string& path, const RecordingOptions& options,
                            RecordingSource& source, ErrorSink onError) {
  Stop();
  const std::optional<FrameGeometry> geometry = source.CurrentGeometry();
  if (!geometry || imaging::kernels::bgr24FlippedKernelFor(geometry->bitsPerPixel) == nullptr) {
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
  NIVEXA_LOG(
      Output, Info,
      "recording to %s: %d x %d, %u bits per pixel, at most %u frames per second, %s layout",
      path.c_str(), format.width, format.height, static_cast<unsigned>(format.sourceBitsPerPixel),
      static_cast<unsigned>(options.maxFramesPerSecond), writer_.Extended() ? "extended" : "plain");
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
  platform::keepFileSizeLimitAsError();
  const imaging::Kernel convert = imaging::kernels::bgr24FlippedKernelFor(geometry.bitsPerPixel);
  FramePipe pipe;
  bool failed = !pipe.create(kBuffers, geometry.width, geometry.height);

  // The writing side: frames in the order taken, until the pipe closes. After a failure the
  // rest are passed over and the looking side is told to stop.
  std::atomic<bool> writeFailed{false};
  uint32_t start = 0;
  uint32_t last = 0;
  platform::Thread writing;
  if (!failed && !writing.start([&] {
        platform::keepFileSizeLimitAsError();
        bool stopped = false;
        while (PipedFrame* frame = pipe.popFilled()) {
          if (!stopped) {
            const AppendResult result = writer_.AppendFrame(frame->rows.pixels());
            if (result == AppendResult::Written) {
              if (writer_.FrameCount() == 1) {
                start = frame->time;
              }
              last = frame->time;
            } else {
              if (result == AppendResult::Full) {
                // Frames came faster than the bound the layout was chosen for, or the recording
                // outgrew the largest file: it ends here, complete.
                NIVEXA_LOG(Output, Warning, "the recording is full after %llu frames",
                           static_cast<unsigned long long>(writer_.FrameCount()));
              }
              stopped = true;
              writeFailed = result == AppendResult::WriteFailed;
              stop_.set();
            }
          }
          pipe.giveBack(frame);
        }
      })) {
    failed = true;
  }

  uint64_t seen = 0;
  bool first = true;
  uint32_t end = 0;
  // The looks keep a 10 ms period: time spent converting counts towards the next.
  auto nextLook = std::chrono::steady_clock::now();
  while (!failed) {
    nextLook += std::chrono::milliseconds(kPollMs);
    const auto lookStart = std::chrono::steady_clock::now();
    if (nextLook < lookStart) {
      nextLook = lookStart;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextLook - lookStart);
    if (stop_.wait(static_cast<uint32_t>(wait.count()))) {
      break;
    }
    // While every buffer waits for the disk the look is passed over; the next one takes the
    // newest frame.
    PipedFrame* slot = pipe.takeFree();
    if (slot == nullptr) {
      continue;
    }
    bool converted = false;
    seen = source_->UseNewerFrame(seen, [&](const imaging::DibImage& frame) {
      // A frame of another format (the colour mode changed underneath) does not belong here.
      if (frame.width() != geometry.width || frame.height() != geometry.height ||
          frame.bitsPerPixel() != geometry.bitsPerPixel) {
        return;
      }
      converted = imaging::ApplyKernel(slot->rows, convert, frame, nullptr, 0, 0, nullptr) != 0;
    });
    if (!converted) {
      pipe.giveBack(slot);
      continue;
    }
    const uint32_t now = platform::timeGetTime();
    slot->time = now;
    pipe.pushFilled(slot);
    if (first) {
      first = false;
      end = now + durationMs;
    } else if (static_cast<int32_t>(now - end) > 0) {
      break;
    }
  }
  pipe.close();
  writing.join();
  failed = failed || writeFailed;

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

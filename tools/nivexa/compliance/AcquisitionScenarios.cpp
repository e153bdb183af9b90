// Every acquisition mode delivers whole frames into the memory it was given, in order.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "AviSummary.h"
#include "Support.h"

namespace nivexa::compliance {

namespace {

constexpr int kSnapshots = 10;
constexpr int kCaptureFrames = 20;
constexpr int kCallbackFrames = 50;
// The preview measures its frame rate over about a second; a frame after this must carry one.
constexpr auto kRateWindow = std::chrono::seconds(3);
constexpr int kStreamFrames = 300;
// A quick pass still streams for seconds: a slow loss needs time to show.
constexpr int kShortestStream = 100;
constexpr size_t kStreamBuffers = 8;
constexpr uint8_t kUnwrittenPattern = 0x3C;
// With nothing wired to the trigger input, the trigger modes must stay silent this long.
constexpr auto kTriggerQuietMs = 300;
constexpr LONG kRecordMs = 1000;
// A recording completes its file on its own once its time has passed; a loaded machine may need
// far longer than the recording's own length to get there.
constexpr int32_t kRecordCompletionMs = 30000;

Result snapshots(const Context& context) {
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0) {
    return fail(camera.problem());
  }
  GuardedBuffer image(processedFrameBytes(h));
  for (int i = 0; i < kSnapshots; ++i) {
    if (!Nivexa_SnapShot(h, image.data(), image.size(), 1)) {
      return fail(text("snapshot %d failed (errors %s)", i, describeErrors(takeErrors(h)).c_str()));
    }
  }
  if (!image.guardsIntact()) {
    return fail("a snapshot wrote past the buffer");
  }
  // One byte short: refused with error 5, and the buffer left alone.
  GuardedBuffer small(processedFrameBytes(h) - 1);
  small.fill(kUnwrittenPattern);
  if (Nivexa_SnapShot(h, small.data(), small.size(), 1)) {
    return fail("a snapshot into a buffer one byte short succeeded");
  }
  const auto codes = takeErrors(h);
  if (codes.empty() || codes.front() != NIVEXA_ERR_MEMORY) {
    return fail("a buffer one byte short gave errors " + describeErrors(codes) + ", not 5");
  }
  if (!small.untouched(kUnwrittenPattern) || !small.guardsIntact()) {
    return fail("a refused snapshot wrote into the buffer");
  }
  return pass();
}

Result capture(const Context& context) {
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0) {
    return fail(camera.problem());
  }
  if (!Nivexa_Capture(h)) {
    return fail("Nivexa_Capture failed (errors " + describeErrors(takeErrors(h)) + ")");
  }
  GuardedBuffer image(processedFrameBytes(h));
  for (int i = 0; i < kCaptureFrames; ++i) {
    if (!Nivexa_SnapShot(h, image.data(), image.size(), 1)) {
      Nivexa_StopPreview(h);
      return fail(
          text("capture frame %d failed (errors %s)", i, describeErrors(takeErrors(h)).c_str()));
    }
  }
  // Capture mode excludes preview, with error 1.
  const BOOL previewed = Nivexa_StartPreview(h);
  const auto codes = takeErrors(h);
  Nivexa_StopPreview(h);
  if (previewed || codes.empty() || codes.front() != NIVEXA_ERR_NO_CAMERA) {
    return fail("a preview in capture mode was not refused with error 1 (errors " +
                describeErrors(codes) + ")");
  }
  if (!image.guardsIntact()) {
    return fail("a captured frame was written past the buffer");
  }
  if (!Nivexa_SnapShot(h, image.data(), image.size(), 1)) {
    return fail("no snapshot after leaving capture mode");
  }
  return pass();
}

Result callbackPreview(const Context& context) {
  FrameSink sink;
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0 || !sink.valid()) {
    return fail(h == 0 ? camera.problem() : "no message sink");
  }
  const LONG width = Nivexa_Width(h);
  const LONG height = Nivexa_Height(h);
  const LONG bits = Nivexa_GetColorMode(h);
  const bool halved = Nivexa_GetSubSample(h) != 0;
  GuardedBuffer image(processedFrameBytes(h));
  if (!Nivexa_CallBackPreview(h, sink.window(), image.data(), image.size(), 1)) {
    return fail("Nivexa_CallBackPreview failed (errors " + describeErrors(takeErrors(h)) + ")");
  }
  std::string problem;
  // The frame rate is measured over a window of frames: the first ones carry none yet.
  bool rateSeen = false;
  const auto rateDeadline = Clock::now() + kRateWindow;
  for (int i = 0;
       problem.empty() && (i < kCallbackFrames || (!rateSeen && Clock::now() < rateDeadline));
       ++i) {
    PostedMessage frame;
    if (!nextFrame(sink, frame)) {
      problem = text("frame %d did not come within %d ms", i, kFrameTimeoutMs);
    } else if (frame.lParam != 0 || frame.wParam == 0) {
      problem = text("frame %d came with error %ld", i, static_cast<long>(frame.lParam));
    } else {
      // Read while handling the message, as the library asks.
      const auto* info = reinterpret_cast<const NivexaFrameInfo*>(frame.wParam);
      const LONG expectedWidth = halved ? width / 2 : width;
      const LONG expectedHeight = halved ? height / 2 : height;
      rateSeen = rateSeen || info->frameRate > 0;
      if (info->buffer != image.data() || info->width != expectedWidth ||
          info->height != expectedHeight || info->bitsPerPixel != bits || info->frameRate < 0) {
        problem = text("frame %d describes %ldx%ld at %ld bits, rate %ld, buffer %s", i,
                       static_cast<long>(info->width), static_cast<long>(info->height),
                       static_cast<long>(info->bitsPerPixel), static_cast<long>(info->frameRate),
                       info->buffer == image.data() ? "ours" : "not ours");
      }
    }
  }
  Nivexa_StopPreview(h);
  if (!problem.empty()) {
    return fail(problem);
  }
  if (!rateSeen) {
    return fail("no frame record gave a frame rate");
  }
  if (!image.guardsIntact()) {
    return fail("a frame was written past the callback buffer");
  }
  if (const auto codes = takeErrors(h); !codes.empty()) {
    return fail("errors recorded: " + describeErrors(codes));
  }
  return pass();
}

// Frames come back complete, each number after the one before; every number skipped is counted
// as lost or dropped, and none is lost.
Result streamFrames(const Context& context, int32_t flags) {
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0) {
    return fail(camera.problem());
  }
  const ModerateFrameRate moderate(h, context.streamExposureS);
  BufferStream stream(h, kStreamBuffers, flags);
  if (!stream.started()) {
    return fail(stream.problem());
  }
  FrameNumbers numbers;
  const int frames = std::max(kShortestStream, context.count(kStreamFrames));
  for (int i = 0; i < frames; ++i) {
    NivexaBuffer* buffer = stream.wait(kFrameTimeoutMs);
    if (buffer == nullptr) {
      return fail(text("buffer %d did not come back within %d ms", i, kFrameTimeoutMs));
    }
    if (buffer->status != NIVEXA_BUFFER_COMPLETE) {
      return fail(text("buffer %d came back with status %u", i, buffer->status));
    }
    if (const auto problem = numbers.add(buffer->frameNumber); !problem.empty()) {
      return fail(problem);
    }
    if (!stream.requeue(buffer)) {
      return fail(text("buffer %d could not be queued again", i));
    }
  }
  const auto statistics = stream.statistics();
  if (statistics.framesLost + statistics.framesDropped != numbers.gaps()) {
    return fail(text("%llu frame numbers skipped, but %llu lost and %llu dropped counted",
                     static_cast<unsigned long long>(numbers.gaps()),
                     static_cast<unsigned long long>(statistics.framesLost),
                     static_cast<unsigned long long>(statistics.framesDropped)));
  }
  if (const auto loss =
          excessiveLoss(statistics.framesLost, static_cast<uint64_t>(frames), numbers);
      !loss.empty()) {
    return fail(loss);
  }
  return pass(text("%d frames, %llu lost, %llu dropped", frames,
                   static_cast<unsigned long long>(statistics.framesLost),
                   static_cast<unsigned long long>(statistics.framesDropped)));
}

Result processedStream(const Context& context) {
  return streamFrames(context, NIVEXA_STREAM_PROCESSED);
}

Result rawStream(const Context& context) {
  return streamFrames(context, 0);
}

// The public interface has no software trigger, so only what holds without a trigger pulse is
// checked: the trigger modes start, deliver nothing, exclude the other modes, and stop cleanly.
Result triggerModes(const Context& context) {
  FrameSink sink;
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0 || !sink.valid()) {
    return fail(h == 0 ? camera.problem() : "no message sink");
  }
  GuardedBuffer image(processedFrameBytes(h));
  image.fill(kUnwrittenPattern);
  if (!Nivexa_Trigger(h, sink.window(), image.data(), image.size(), 1)) {
    return fail("Nivexa_Trigger failed (errors " + describeErrors(takeErrors(h)) + ")");
  }
  PostedMessage frame;
  const bool spurious = nextFrame(sink, frame, kTriggerQuietMs);
  const BOOL previewed = Nivexa_StartPreview(h);
  const auto codes = takeErrors(h);
  Nivexa_StopPreview(h);
  if (spurious) {
    return fail("a frame came in trigger mode without a trigger");
  }
  if (previewed || codes.empty() || codes.front() != NIVEXA_ERR_NO_CAMERA) {
    return fail("a preview in trigger mode was not refused with error 1 (errors " +
                describeErrors(codes) + ")");
  }
  if (!image.untouched(kUnwrittenPattern) || !image.guardsIntact()) {
    return fail("the trigger buffer was written without a trigger");
  }
  {
    BufferStream stream(h, kStreamBuffers, NIVEXA_STREAM_PROCESSED | NIVEXA_STREAM_TRIGGERED);
    if (!stream.started()) {
      return fail("triggered: " + stream.problem());
    }
    if (stream.wait(kTriggerQuietMs) != nullptr) {
      return fail("a buffer came back from a triggered stream without a trigger");
    }
    NivexaStream_Stop(h);
    for (size_t i = 0; i < kStreamBuffers; ++i) {
      NivexaBuffer* buffer = stream.wait(0);
      if (buffer == nullptr || buffer->status != NIVEXA_BUFFER_CANCELLED) {
        return fail(text("queued buffer %llu did not come back cancelled at the stop",
                         static_cast<unsigned long long>(i)));
      }
    }
  }
  if (!Nivexa_SnapShot(h, nullptr, 0, 1)) {
    return fail("no snapshot after the trigger modes");
  }
  return pass("trigger pulses not tested: the interface has no software trigger");
}

Result recording(const Context& context) {
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0) {
    return fail(camera.problem());
  }
  const ScratchFile file(".avi");
  if (!Nivexa_Record(h, file.path().c_str(), kRecordMs, 0)) {
    return fail("Nivexa_Record failed (errors " + describeErrors(takeErrors(h)) + ")");
  }
  // The file takes its name only once complete.
  const bool completed = waitUntil(
      [&file] {
        std::error_code error;
        return std::filesystem::exists(file.path(), error);
      },
      kRecordCompletionMs);
  Nivexa_StopPreview(h);
  if (!completed) {
    return fail(text("the recording did not complete within %d ms", kRecordCompletionMs));
  }
  const AviSummary summary = summarizeAvi(file.path());
  if (!summary.complete) {
    return fail("the AVI file is not complete: " + summary.problem);
  }
  if (summary.frames == 0 || summary.framesPerSecond <= 0.0) {
    return fail(
        text("the AVI file holds %u frames at %.2f fps", summary.frames, summary.framesPerSecond));
  }
  if (const auto codes = takeErrors(h); !codes.empty()) {
    return fail("errors recorded: " + describeErrors(codes));
  }
  return pass(text("%u frames, %.1f fps", summary.frames, summary.framesPerSecond));
}

}  // namespace

void addAcquisitionScenarios(std::vector<Scenario>& scenarios) {
  using std::chrono::seconds;
  scenarios.push_back({"acquire.snapshot",
                       "snapshots fill the buffer exactly; one byte short is refused with error 5",
                       snapshots, seconds(60)});
  scenarios.push_back({"acquire.capture", "capture mode delivers frames and excludes preview",
                       capture, seconds(60)});
  scenarios.push_back({"acquire.callback-preview",
                       "callback preview announces every frame with a true frame record",
                       callbackPreview, seconds(60)});
  scenarios.push_back({"acquire.stream-processed",
                       "buffer stream of processed frames: complete, in order, all accounted for",
                       processedStream, seconds(60), true});
  scenarios.push_back({"acquire.stream-raw",
                       "buffer stream of raw frames: complete, in order, all accounted for",
                       rawStream, seconds(60), true});
  scenarios.push_back({"acquire.trigger",
                       "trigger modes start, stay silent without a trigger, and stop cleanly",
                       triggerModes, seconds(30)});
  scenarios.push_back({"acquire.record", "a one-second recording gives a complete, readable AVI",
                       recording, seconds(60)});
}

}  // namespace nivexa::compliance

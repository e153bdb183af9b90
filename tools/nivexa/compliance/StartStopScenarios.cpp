// Starting and stopping acquisition over and over, out of balance, from other threads, and
// ending a handle in the middle of each mode.
#include <atomic>
#include <thread>

#include "Support.h"

namespace nivexa::compliance {

namespace {

constexpr int kPreviewCycles = 1000;
// Every so many cycles the preview must also deliver a frame: a stream that starts and stops
// cleanly but sends nothing would pass the bare cycle.
constexpr int kFrameCheckEvery = 100;
constexpr int kStopFromThreadRounds = 20;
constexpr uint8_t kStoppedPattern = 0x6B;
// After a stop the buffer is watched this long for a late write: several frame periods of the
// fastest camera, and of the virtual one's fast pacing.
constexpr auto kAfterStopWatch = std::chrono::milliseconds(100);
constexpr int kUnbalancedStops = 3;
constexpr LONG kRecordMs = 5000;

Result previewCycles(const Context& context) {
  FrameSink sink;
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0 || !sink.valid()) {
    return fail(h == 0 ? camera.problem() : "no message sink");
  }
  GuardedBuffer image(processedFrameBytes(h));
  const int cycles = context.count(kPreviewCycles);
  for (int cycle = 0; cycle < cycles; ++cycle) {
    if (cycle % kFrameCheckEvery == 0) {
      sink.clear();
      if (!Nivexa_CallBackPreview(h, sink.window(), image.data(), image.size(), 1)) {
        return fail(text("cycle %d: Nivexa_CallBackPreview failed (errors %s)", cycle,
                         describeErrors(takeErrors(h)).c_str()));
      }
      PostedMessage frame;
      if (!nextFrame(sink, frame)) {
        Nivexa_StopPreview(h);
        return fail(text("cycle %d: no frame within %d ms", cycle, kFrameTimeoutMs));
      }
      if (frame.lParam != 0 || frame.wParam == 0) {
        Nivexa_StopPreview(h);
        return fail(text("cycle %d: the frame came with error %ld", cycle,
                         static_cast<long>(frame.lParam)));
      }
    } else if (!Nivexa_StartPreview(h)) {
      return fail(text("cycle %d: Nivexa_StartPreview failed (errors %s)", cycle,
                       describeErrors(takeErrors(h)).c_str()));
    }
    if (!Nivexa_StopPreview(h)) {
      return fail(text("cycle %d: Nivexa_StopPreview failed (errors %s)", cycle,
                       describeErrors(takeErrors(h)).c_str()));
    }
  }
  if (!image.guardsIntact()) {
    return fail("the library wrote past the callback buffer");
  }
  if (const auto codes = takeErrors(h); !codes.empty()) {
    return fail("errors recorded over the cycles: " + describeErrors(codes));
  }
  return pass(text("%d cycles", cycles));
}

Result unbalancedStops(const Context& context) {
  FrameSink sink;
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0 || !sink.valid()) {
    return fail(h == 0 ? camera.problem() : "no message sink");
  }
  for (int i = 0; i < kUnbalancedStops; ++i) {
    if (!Nivexa_StopPreview(h) || !NivexaStream_Stop(h) || !Nivexa_Close(h)) {
      return fail(text("a stop with nothing running failed (round %d)", i));
    }
  }
  if (!Nivexa_StartPreview(h) || !Nivexa_StartPreview(h)) {
    return fail("a second Nivexa_StartPreview while previewing did not return 1 (errors " +
                describeErrors(takeErrors(h)) + ")");
  }
  for (int i = 0; i < kUnbalancedStops; ++i) {
    if (!Nivexa_StopPreview(h)) {
      return fail(text("stop %d after one preview failed", i));
    }
  }
  if (const auto codes = takeErrors(h); !codes.empty()) {
    return fail("unbalanced stops recorded errors " + describeErrors(codes));
  }
  GuardedBuffer image(processedFrameBytes(h));
  PostedMessage frame;
  if (!Nivexa_CallBackPreview(h, sink.window(), image.data(), image.size(), 1) ||
      !nextFrame(sink, frame) || frame.lParam != 0) {
    Nivexa_StopPreview(h);
    return fail("no frame from a preview after the unbalanced stops");
  }
  Nivexa_StopPreview(h);
  return image.guardsIntact() ? pass() : fail("the library wrote past the callback buffer");
}

// The library promises that once Nivexa_StopPreview returns the callback buffer is not written
// any more, whichever thread calls it.
Result stopFromAnotherThread(const Context& context) {
  FrameSink sink;
  Camera camera(context.device);
  const LONG h = camera.handle();
  if (h == 0 || !sink.valid()) {
    return fail(h == 0 ? camera.problem() : "no message sink");
  }
  Nivexa_SetWaitTime(h, 0);
  GuardedBuffer image(processedFrameBytes(h));
  const int rounds = context.count(kStopFromThreadRounds);
  for (int round = 0; round < rounds; ++round) {
    sink.clear();
    if (!Nivexa_CallBackPreview(h, sink.window(), image.data(), image.size(), 1)) {
      return fail(text("round %d: the preview did not start (errors %s)", round,
                       describeErrors(takeErrors(h)).c_str()));
    }
    PostedMessage frame;
    if (!nextFrame(sink, frame)) {
      Nivexa_StopPreview(h);
      return fail(text("round %d: no frame", round));
    }
    std::atomic<BOOL> stopped{0};
    std::thread stopper([h, &stopped] { stopped = Nivexa_StopPreview(h); });
    stopper.join();
    if (!stopped) {
      return fail(text("round %d: Nivexa_StopPreview from another thread failed", round));
    }
    image.fill(kStoppedPattern);
    std::this_thread::sleep_for(kAfterStopWatch);
    if (!image.untouched(kStoppedPattern) || !image.guardsIntact()) {
      return fail(text("round %d: the callback buffer was written after the stop returned", round));
    }
  }
  if (const auto codes = takeErrors(h); !codes.empty()) {
    return fail("errors recorded: " + describeErrors(codes));
  }
  return pass(text("%d rounds", rounds));
}

// Each mode is entered on a fresh handle, which is then released mid-acquisition; the camera
// must open again on a new handle and deliver a frame.
Result releaseInEveryMode(const Context& context) {
  enum Mode { Preview, CallbackPreview, Capture, Trigger, Stream, Record, ModeCount };
  constexpr const char* kNames[] = {"preview", "callback preview", "capture",
                                    "trigger", "buffer stream",    "record"};
  const ScratchFile recording(".avi");
  for (int mode = 0; mode < ModeCount; ++mode) {
    {
      FrameSink sink;
      Camera camera(context.device);
      const LONG h = camera.handle();
      if (h == 0) {
        return fail(text("%s: %s", kNames[mode], camera.problem().c_str()));
      }
      GuardedBuffer image(processedFrameBytes(h));
      std::vector<uint8_t> streamMemory(processedFrameBytes(h));
      NivexaBuffer streamBuffer{};
      streamBuffer.data = streamMemory.data();
      streamBuffer.capacity = static_cast<uint32_t>(streamMemory.size());
      bool started = false;
      switch (mode) {
        case Preview:
          started = Nivexa_StartPreview(h) != 0;
          break;
        case CallbackPreview:
          started = Nivexa_CallBackPreview(h, sink.window(), image.data(), image.size(), 1) != 0;
          break;
        case Capture:
          started = Nivexa_Capture(h) != 0 && Nivexa_SnapShot(h, nullptr, 0, 1) != 0;
          break;
        case Trigger:
          started = Nivexa_Trigger(h, sink.window(), image.data(), image.size(), 1) != 0;
          break;
        case Stream:
          started = NivexaStream_Queue(h, &streamBuffer) != 0 &&
                    NivexaStream_Start(h, NIVEXA_STREAM_PROCESSED) != 0;
          break;
        case Record:
          started = Nivexa_Record(h, recording.path().c_str(), kRecordMs, 0) != 0;
          break;
        default:
          break;
      }
      if (!started) {
        return fail(text("%s did not start (errors %s)", kNames[mode],
                         describeErrors(takeErrors(h)).c_str()));
      }
      if (mode == CallbackPreview) {
        PostedMessage frame;
        if (!nextFrame(sink, frame)) {
          return fail("callback preview: no frame before the release");
        }
      }
      if (!camera.release()) {
        return fail(text("Nivexa_Release during %s returned 0", kNames[mode]));
      }
      // The buffers go now: a library still writing them would be caught by a sanitizer, and
      // the guards show a write past them.
      if (!image.guardsIntact()) {
        return fail(text("%s: the library wrote past the callback buffer", kNames[mode]));
      }
    }
    Camera again(context.device);
    if (again.handle() == 0) {
      return fail(text("after a release during %s: %s", kNames[mode], again.problem().c_str()));
    }
    if (!Nivexa_SnapShot(again.handle(), nullptr, 0, 1)) {
      return fail(text("after a release during %s no snapshot (errors %s)", kNames[mode],
                       describeErrors(takeErrors(again.handle())).c_str()));
    }
  }
  return pass();
}

}  // namespace

void addStartStopScenarios(std::vector<Scenario>& scenarios) {
  using std::chrono::seconds;
  scenarios.push_back({"startstop.preview-cycles",
                       "1000 preview start/stop cycles, a frame checked every 100th", previewCycles,
                       seconds(240), true});
  scenarios.push_back({"startstop.unbalanced-stops",
                       "stops with nothing running and a double start leave no error behind",
                       unbalancedStops, seconds(30)});
  scenarios.push_back({"startstop.stop-from-thread",
                       "a stop from another thread ends every write to the callback buffer",
                       stopFromAnotherThread, seconds(60), true});
  scenarios.push_back({"startstop.release-in-mode",
                       "Nivexa_Release in each acquisition mode, then the camera opens again",
                       releaseInEveryMode, seconds(90)});
}

}  // namespace nivexa::compliance

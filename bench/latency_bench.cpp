// The acquisition path at the limit, with the virtual camera at its own frame timing (full frames,
// 8 bits unless a case says otherwise). Each case prints its result as plain lines:
//
// - BM_Latency: from the moment the camera sent a frame's last byte (the device's own record of
//   it) to the engine's frame-ready signal, the frame message at a callback-preview consumer, or
//   a filled buffer of the buffer stream; 50th, 99th and 99.9th percentiles, with the pipeline
//   steps off and with the whole monochrome chain, next to the pipeline's own time per frame.
//   Steps off runs twice: with the consumer on an ordinary thread, and on one at real-time
//   priority where the system grants it, which takes out when the machine gets round to an
//   ordinary application thread and leaves what the library adds.
// - BM_CpuPerFrame: CPU per frame of the capture thread, the acquisition thread and the consumer,
//   in units of one memcpy of the frame measured in the same run.
// - BM_CaptureCpuNoise: the capture thread's CPU per frame with the camera's noise on and off
//   (the camera renders on a thread of its own, so the two should match), for a callback preview
//   and for a raw buffer stream, medians of alternating runs.
// - BM_DeliveredShare: frames delivered to a raw buffer stream against the frames the camera
//   produced, from the gaps in its frame counter.
//
// The ring slot's arrival time is when the capture thread put the frame in the ring, after its
// payload read returned: later than the device's last byte by the driver's completion path, which
// is part of what is measured here.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "NivexaMessages.h"
#include "NivexaSdk.h"
#include "NivexaStream.h"
#include "api/ExportSupport.h"
#include "camera/CNivexa.h"
#include "engine/CNivexaUSB3R5SimpleSdk.h"
#include "engine/EngineConstants.h"
#include "memcpy_cost.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "sim/Camera.h"
#include "sim/CameraSet.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLatencyFrames = 2000;
constexpr int kCpuFrames = 300;
constexpr int kShareFrames = 2000;
constexpr int kWarmUpFrames = 10;
constexpr int kReferenceFrames = 3;
constexpr int32_t kWaitMs = 5000;
constexpr int kBuffers = 4;
constexpr int64_t kFullWidth = 2048;
constexpr int64_t kFullHeight = 1536;
constexpr double kNsPerMs = 1e6;
constexpr double kLatencyAllowanceMs = 1.0;
constexpr double kNoiseTolerance = 0.10;
constexpr double kShareGoal = 0.999;
constexpr int kRawFlags = 0;
constexpr int kOpenAttempts = 5;
constexpr uint32_t kOpenRetryMs = 200;

// The monochrome chain: gray filter, flat field and defect pixels, gamma, contrast, sharpness,
// brightness, each at a value that makes it do work.
constexpr LONG kGrayMode = 1;
constexpr LONG kGamma = 150;
constexpr LONG kContrast = 20;
constexpr LONG kSharpness = 10;
constexpr LONG kBrightness = 10;
constexpr LONG kGammaOff = 100;

enum Consumer { kEngine = 0, kCallback = 1, kStream = 2 };

nivexa::sim::CameraOptions realCamera(bool noise = true) {
  nivexa::sim::CameraOptions options;
  options.pacing = nivexa::sim::Pacing::Real;
  options.noise = noise;
  return options;
}

double msSince(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

double percentile(std::vector<double> values, double share) {
  if (values.empty()) {
    return 0;
  }
  std::sort(values.begin(), values.end());
  const auto index = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

void printPercentiles(const char* what, const std::vector<double>& ms) {
  std::printf("%s: %zu frames, 50%% %.3f ms, 99%% %.3f ms, 99.9%% %.3f ms\n", what, ms.size(),
              percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 0.999));
}

template <typename R, typename Body>
R onCamera(LONG h, Body&& body) {
  return nivexa::api::withCamera(h, R{0}, std::forward<Body>(body));
}

struct CpuClocks {
  uint64_t capture = 0;
  uint64_t acquisition = 0;
  uint64_t consumer = 0;
};

CpuClocks readCpu(LONG h) {
  CpuClocks c;
  c.capture =
      onCamera<uint64_t>(h, [](nivexa::camera::CNivexa& cam) { return cam.CaptureThreadCpuNs(); });
  c.acquisition = onCamera<uint64_t>(
      h, [](nivexa::camera::CNivexa& cam) { return cam.AcquisitionThreadCpuNs(); });
  c.consumer = nivexa::platform::currentThreadCpuNs();
  return c;
}

uint64_t lastPipelineNs(LONG h) {
  return onCamera<uint64_t>(h, [](nivexa::camera::CNivexa& cam) { return cam.LastPipelineNs(); });
}

// Every step off. A handle takes up the settings last stored for the camera, the chain of an
// earlier case among them.
bool disableSteps(LONG h) {
  return Nivexa_SetGrayMode(h, 0) != 0 && Nivexa_SetMaskFilter(h, 0) != 0 &&
         Nivexa_SetDotFilter(h, 0) != 0 && Nivexa_SetGamma(h, kGammaOff) != 0 &&
         Nivexa_SetContrast(h, 0) != 0 && Nivexa_SetSharpness(h, 0) != 0 &&
         Nivexa_SetBrightness(h, 0) != 0;
}

// A handle with the camera open at `bits`, or 0. A camera just added may not be listed yet, and
// one just removed may still be: a few attempts give the library's device list time to settle.
LONG openCamera(int bits) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const LONG h = Nivexa_Initialize(nullptr);
    if (Nivexa_SetColorMode(h, bits) != 0 && Nivexa_SetWaitTime(h, 0) != 0) {
      return h;
    }
    std::printf("the camera did not open (error %ld); trying again\n",
                static_cast<long>(Nivexa_GetLastError(h)));
    Nivexa_Release(h);
    nivexa::platform::sleepMs(kOpenRetryMs);
  }
  return 0;
}

// One handle on the camera with a callback preview or a buffer stream running; each next()
// waits for one frame and says when it came.
class Acquisition {
 public:
  // `prepare` runs on the handle before the acquisition starts.
  Acquisition(int bits, Consumer consumer, bool processed, const std::function<bool(LONG)>& prepare)
      : consumer_(consumer), h_(openCamera(bits)) {
    ok_ = h_ != 0;
    ok_ = ok_ && (!prepare || prepare(h_));
    bytes_ = static_cast<size_t>(kFullWidth * kFullHeight * (bits / 8));
    if (consumer_ == kCallback) {
      sink_ = NivexaMsg_CreateSink();
      preview_.resize(bytes_);
      ok_ = ok_ && Nivexa_CallBackPreview(h_, sink_, preview_.data(),
                                          static_cast<LONG>(preview_.size()), 1) != 0;
      return;
    }
    const int32_t flags = processed ? NIVEXA_STREAM_PROCESSED : kRawFlags;
    const uint32_t bytes = ok_ ? NivexaStream_FrameBytes(h_, flags) : 0;
    buffers_.resize(kBuffers);
    memory_.resize(kBuffers);
    ok_ = ok_ && bytes != 0;
    for (int i = 0; i < kBuffers && ok_; ++i) {
      memory_[static_cast<size_t>(i)].resize(bytes);
      NivexaBuffer& b = buffers_[static_cast<size_t>(i)];
      b.data = memory_[static_cast<size_t>(i)].data();
      b.capacity = bytes;
      ok_ = NivexaStream_Queue(h_, &b) != 0;
    }
    ok_ = ok_ && NivexaStream_Start(h_, flags) != 0;
    if (!ok_) {
      std::printf("the buffer stream did not start: error %ld\n",
                  static_cast<long>(Nivexa_GetLastError(h_)));
    }
  }
  Acquisition(const Acquisition&) = delete;
  Acquisition& operator=(const Acquisition&) = delete;
  ~Acquisition() {
    if (consumer_ == kStream) {
      NivexaStream_Stop(h_);
    } else {
      Nivexa_StopPreview(h_);
    }
    // The handle stores its settings for the camera's serial as it goes: other programs that
    // open a virtual camera later must not find the chain switched on.
    disableSteps(h_);
    Nivexa_Release(h_);
    if (sink_ != nullptr) {
      NivexaMsg_DestroySink(sink_);
    }
  }

  bool ok() const { return ok_; }
  LONG handle() const { return h_; }
  size_t frameBytes() const { return bytes_; }

  // Waits for the next frame; false when none came.
  bool next() {
    if (consumer_ == kCallback) {
      NivexaMsg message{};
      return NivexaMsg_Get(sink_, &message, kWaitMs) != 0 && message.lParam == 0;
    }
    NivexaBuffer* filled = NivexaStream_Wait(h_, kWaitMs);
    const bool complete = filled != nullptr && filled->status == NIVEXA_BUFFER_COMPLETE;
    if (filled != nullptr) {
      benchmark::DoNotOptimize(filled->data);
      NivexaStream_Queue(h_, filled);
    }
    return complete;
  }

  NivexaStreamStatistics statistics() const {
    NivexaStreamStatistics s{};
    NivexaStream_GetStatistics(h_, &s);
    return s;
  }

 private:
  Consumer consumer_;
  LONG h_;
  bool ok_ = false;
  size_t bytes_ = 0;
  HWND sink_ = nullptr;
  std::vector<uint8_t> preview_;
  std::vector<NivexaBuffer> buffers_;
  std::vector<std::vector<uint8_t>> memory_;
};

struct CpuSpan {
  CpuClocks start;
  CpuClocks end;
  int frames = 0;
};

// The threads' CPU clocks around kCpuFrames frames, after the warm-up.
CpuSpan cpuOverFrames(Acquisition& acquisition) {
  for (int i = 0; i < kWarmUpFrames; ++i) {
    acquisition.next();
  }
  CpuSpan span;
  span.start = readCpu(acquisition.handle());
  while (span.frames < kCpuFrames && acquisition.next()) {
    ++span.frames;
  }
  span.end = readCpu(acquisition.handle());
  return span;
}

// Dark and flat references for the flat-field and defect-pixel steps, taken from a short
// preview in front of a capped lens and a flat panel; then every step of the chain is switched
// on. False when a step would not switch on.
bool enableMonochromeChain(LONG h, nivexa::sim::Camera& camera) {
  bool ok = Nivexa_SetGrayMode(h, kGrayMode) != 0;
  {
    HWND sink = NivexaMsg_CreateSink();
    std::vector<uint8_t> preview(static_cast<size_t>(kFullWidth * kFullHeight));
    ok = ok &&
         Nivexa_CallBackPreview(h, sink, preview.data(), static_cast<LONG>(preview.size()), 1) != 0;
    const auto reference = [&](nivexa::sim::Illumination scene, LONG kind) {
      camera.setScene(scene);
      for (int i = 0; i < kReferenceFrames && ok; ++i) {
        NivexaMsg message{};
        ok = NivexaMsg_Get(sink, &message, kWaitMs) != 0;
      }
      ok = ok && Nivexa_UpdateMaskData(h, kind) != 0;
    };
    reference(nivexa::sim::Illumination::Dark, 0);
    reference(nivexa::sim::Illumination::Flat, 1);
    camera.setScene(nivexa::sim::Illumination::Pattern);
    Nivexa_StopPreview(h);
    NivexaMsg_DestroySink(sink);
  }
  return ok && Nivexa_SetMaskFilter(h, 1) != 0 && Nivexa_SetDotFilter(h, 1) != 0 &&
         Nivexa_SetGamma(h, kGamma) != 0 && Nivexa_SetContrast(h, kContrast) != 0 &&
         Nivexa_SetSharpness(h, kSharpness) != 0 && Nivexa_SetBrightness(h, kBrightness) != 0;
}

void engineLatency(benchmark::State& state, nivexa::sim::Camera& camera) {
  auto engine = std::make_unique<nivexa::engine::CNivexaUSB3R5SimpleSdk>();
  engine->SetProductId(nivexa::engine::kProductM7qxTec);
  engine->CreateController(nullptr);
  if (engine->CountDevices(nivexa::engine::kProductM7qxTec) < 1 || !engine->CreateSensor(0) ||
      !engine->SetOutputDepth(0) || !engine->StartCapture(0)) {
    state.SkipWithError("camera did not open");
    return;
  }
  std::vector<double> ms;
  for (int i = 0; i < kWarmUpFrames + kLatencyFrames; ++i) {
    // No new frame: the signal came but the newest frame had been taken already.
    int result = nivexa::engine::kWaitNoNewFrame;
    Clock::time_point signalled;
    while (result == nivexa::engine::kWaitNoNewFrame) {
      result = engine->WaitForFrame(kWaitMs);
      signalled = Clock::now();
    }
    if (result != nivexa::engine::kWaitNewFrame) {
      state.SkipWithError("frame lost");
      break;
    }
    if (i >= kWarmUpFrames) {
      ms.push_back(msSince(camera.lastDelivery().at, signalled));
    }
  }
  engine->StopCapture();
  printPercentiles("engine frame-ready signal", ms);
  std::printf("engine frame-ready signal: goal 99%% <= %.3f ms: %s\n", kLatencyAllowanceMs,
              !ms.empty() && percentile(ms, 0.99) <= kLatencyAllowanceMs ? "met" : "missed");
}

void BM_Latency(benchmark::State& state) {
  const auto consumer = static_cast<Consumer>(state.range(0));
  const bool steps = state.range(1) != 0;
  const bool realTimeConsumer = state.range(2) != 0;
  for (auto _ : state) {
    auto camera = nivexa::sim::createCamera(realCamera());
    if (consumer == kEngine) {
      engineLatency(state, *camera);
      nivexa::sim::removeCamera(camera);
      continue;
    }
    std::vector<double> latency;
    std::vector<double> pipeline;
    {
      std::function<bool(LONG)> prepare = disableSteps;
      if (steps) {
        prepare = [&camera](LONG h) { return enableMonochromeChain(h, *camera); };
      }
      Acquisition acquisition(8, consumer, steps, prepare);
      if (!acquisition.ok()) {
        state.SkipWithError("acquisition did not start");
        break;
      }
      bool lost = false;
      const auto consume = [&] {
        for (int i = 0; i < kWarmUpFrames + kLatencyFrames; ++i) {
          const bool got = acquisition.next();
          const Clock::time_point arrived = Clock::now();
          if (!got) {
            lost = true;
            break;
          }
          if (i >= kWarmUpFrames) {
            latency.push_back(msSince(camera->lastDelivery().at, arrived));
            pipeline.push_back(static_cast<double>(lastPipelineNs(acquisition.handle())) /
                               kNsPerMs);
          }
        }
      };
      if (realTimeConsumer) {
        // As a latency-bound application would: its consumer thread above the machine's
        // ordinary work, where the system grants it.
        nivexa::platform::Thread thread;
        if (!thread.start(consume, nivexa::platform::Thread::Priority::TimeCritical)) {
          state.SkipWithError("no consumer thread");
          break;
        }
        thread.join();
      } else {
        consume();
      }
      if (lost) {
        state.SkipWithError("frame lost");
        break;
      }
    }
    nivexa::sim::removeCamera(camera);
    const std::string what = std::string(consumer == kCallback ? "callback preview message"
                                                               : "buffer stream filled buffer") +
                             (steps ? ", monochrome chain" : ", steps off") +
                             (realTimeConsumer ? ", real-time consumer" : "");
    printPercentiles(what.c_str(), latency);
    printPercentiles((what + ", the pipeline's own pass").c_str(), pipeline);
    const double goal = percentile(pipeline, 0.99) + kLatencyAllowanceMs;
    std::printf("%s: goal 99%% <= %.3f ms (pipeline 99%% + %.0f ms): %s\n", what.c_str(), goal,
                kLatencyAllowanceMs,
                !latency.empty() && percentile(latency, 0.99) <= goal ? "met" : "missed");
  }
}
BENCHMARK(BM_Latency)
    ->Args({kEngine, 0, 0})
    ->Args({kCallback, 0, 0})
    ->Args({kCallback, 0, 1})
    ->Args({kCallback, 1, 0})
    ->Args({kStream, 0, 0})
    ->Args({kStream, 0, 1})
    ->Args({kStream, 1, 0})
    ->ArgNames({"consumer", "steps", "rt"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// path: 0 raw buffer stream, 1 processed buffer stream, 2 callback preview; steps off.
void BM_CpuPerFrame(benchmark::State& state) {
  const int path = static_cast<int>(state.range(0));
  for (auto _ : state) {
    auto camera = nivexa::sim::createCamera(realCamera());
    {
      Acquisition acquisition(8, path == 2 ? kCallback : kStream, path == 1, disableSteps);
      if (!acquisition.ok()) {
        state.SkipWithError("acquisition did not start");
        break;
      }
      const CpuSpan span = cpuOverFrames(acquisition);
      const CpuClocks& start = span.start;
      const CpuClocks& end = span.end;
      const int frames = span.frames;
      const double copy = nivexa::bench::memcpyNs(acquisition.frameBytes(), true);
      const double warm = nivexa::bench::memcpyNs(acquisition.frameBytes(), false);
      const auto perFrame = [&](uint64_t from, uint64_t to) {
        return static_cast<double>(to - from) / std::max(frames, 1) / copy;
      };
      const double capture = perFrame(start.capture, end.capture);
      const double thread = perFrame(start.acquisition, end.acquisition);
      const double consumer = perFrame(start.consumer, end.consumer);
      const char* names[] = {"raw buffer stream", "processed buffer stream", "callback preview"};
      std::printf(
          "%s, steps off: CPU per frame in frame copies (one memcpy of a frame out of the cache "
          "%.3f ms, in it %.3f ms): capture thread %.2f, acquisition thread %.2f, consumer %.2f, "
          "total %.2f over %d frames\n",
          names[path], copy / kNsPerMs, warm / kNsPerMs, capture, thread, consumer,
          capture + thread + consumer, frames);
      state.counters["copies"] = capture + thread + consumer;
    }
    nivexa::sim::removeCamera(camera);
  }
}
BENCHMARK(BM_CpuPerFrame)
    ->DenseRange(0, 2)
    ->ArgName("path")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The capture thread's CPU per frame with the camera's noise on and off, in one run. The two
// settings take turns over several rounds (off, on, on, off, ...) and each keeps its median, so
// that a drift of the machine's memory traffic over the run does not fall on one setting only.
// path 0: a callback preview, whose capture thread only receives; path 1: a raw buffer stream,
// whose capture thread also copies each frame into the application's buffer, beside the model's
// rendering thread.
void BM_CaptureCpuNoise(benchmark::State& state) {
  constexpr int kRounds = 3;
  const bool stream = state.range(0) != 0;
  for (auto _ : state) {
    std::vector<double> perFrame[2];
    for (int run = 0; run < 2 * kRounds; ++run) {
      const int noise = (run + run / 2) % 2;  // 0 1 1 0 0 1
      auto camera = nivexa::sim::createCamera(realCamera(noise != 0));
      {
        Acquisition acquisition(8, stream ? kStream : kCallback, false, disableSteps);
        if (!acquisition.ok()) {
          state.SkipWithError("acquisition did not start");
          return;
        }
        const CpuSpan span = cpuOverFrames(acquisition);
        perFrame[noise].push_back(static_cast<double>(span.end.capture - span.start.capture) /
                                  std::max(span.frames, 1) / kNsPerMs);
      }
      nivexa::sim::removeCamera(camera);
    }
    const double off = percentile(perFrame[0], 0.5);
    const double on = percentile(perFrame[1], 0.5);
    const double ratio = off > 0 ? on / off : 0;
    std::printf(
        "capture thread CPU per frame, %s, median of %d runs each: noise on %.3f ms, noise off "
        "%.3f ms, on / off %.3f (goal within %.0f %%): %s\n",
        stream ? "raw buffer stream" : "callback preview", kRounds, on, off, ratio,
        kNoiseTolerance * 100,
        ratio > 0 && std::abs(ratio - 1) <= kNoiseTolerance ? "met" : "missed");
    state.counters["on_off"] = ratio;
  }
}
BENCHMARK(BM_CaptureCpuNoise)
    ->DenseRange(0, 1)
    ->ArgName("path")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Frames a raw buffer stream delivers against those the camera produced, at 8 and 16 bits.
void BM_DeliveredShare(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  for (auto _ : state) {
    auto camera = nivexa::sim::createCamera(realCamera());
    {
      Acquisition acquisition(bits, kStream, false, disableSteps);
      if (!acquisition.ok()) {
        state.SkipWithError("acquisition did not start");
        break;
      }
      const uint32_t unrenderedBefore = camera->unrenderedFrames();
      int frames = 0;
      for (; frames < kShareFrames && acquisition.next(); ++frames) {
      }
      const uint32_t unrendered = camera->unrenderedFrames() - unrenderedBefore;
      const NivexaStreamStatistics s = acquisition.statistics();
      const double produced =
          static_cast<double>(s.framesDelivered + s.framesLost + s.framesDropped);
      const double share = produced > 0 ? static_cast<double>(s.framesDelivered) / produced : 0;
      std::printf(
          "%d bit at the camera's timing: delivered %llu, lost %llu, dropped %llu, delivered / "
          "produced %.4f (goal >= %.3f): %s; the camera model fell %u frames behind its clock "
          "(not produced)\n",
          bits, static_cast<unsigned long long>(s.framesDelivered),
          static_cast<unsigned long long>(s.framesLost),
          static_cast<unsigned long long>(s.framesDropped), share, kShareGoal,
          share >= kShareGoal ? "met" : "missed", unrendered);
      state.counters["share"] = share;
    }
    nivexa::sim::removeCamera(camera);
  }
}
BENCHMARK(BM_DeliveredShare)
    ->Arg(8)
    ->Arg(16)
    ->ArgName("bits")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

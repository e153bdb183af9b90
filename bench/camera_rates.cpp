// The two reference rates of the camera benchmarks: the engine's own rate to a consumer that only
// copies the newest frame, and full frames delivered to an application's callback buffer (wait
// time 0, every filter off). Each at 8 and 16 bits, and twice: with the virtual camera handing
// out each frame the moment it is asked for, where the library's cost per frame decides the rate
// (and shares the two cores with the camera model's rendering), and with the camera's own frame
// timing, where the question is whether the library delivers every frame the camera sends.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "NivexaMessages.h"
#include "NivexaSdk.h"
#include "camera_rates.h"
#include "engine/CNivexaUSB3R5SimpleSdk.h"
#include "engine/EngineConstants.h"
#include "sim/CameraSet.h"

nivexa::sim::CameraOptions benchCamera(int64_t pacing) {
  nivexa::sim::CameraOptions options;
  options.pacing = pacing == kReal ? nivexa::sim::Pacing::Real : nivexa::sim::Pacing::Fast;
  options.noise = true;
  return options;
}

int64_t frameBytes(int bits) {
  return kPixels * (bits / 8);
}

namespace {

// The engine alone: capture thread in continuous mode, the consumer copying each newest frame.
void BM_EngineToConsumer(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  auto camera = nivexa::sim::createCamera(benchCamera(state.range(1)));
  auto engine = std::make_unique<nivexa::engine::CNivexaUSB3R5SimpleSdk>();
  engine->SetProductId(nivexa::engine::kProductM7qxTec);
  engine->CreateController(nullptr);
  if (engine->CountDevices(nivexa::engine::kProductM7qxTec) < 1 || !engine->CreateSensor(0) ||
      !engine->SetOutputDepth(bits == 16 ? 1 : 0) || !engine->StartCapture(0)) {
    state.SkipWithError("camera did not open");
    return;
  }
  // The camera object switches the cooler on when it opens a camera; the camera then works the
  // same way under both measurements, its sensor cooling down and its dark signal drifting.
  if (engine->HasCooling()) {
    engine->SetCooling(1);
  }
  std::vector<uint8_t> frame(engine->FrameSize());
  int64_t frames = 0;
  for (auto _ : state) {
    int result = nivexa::engine::kWaitNoNewFrame;
    while (result == nivexa::engine::kWaitNoNewFrame) {
      result = engine->WaitForFrame(3000);
    }
    if (result != nivexa::engine::kWaitNewFrame || !engine->CopyNewestFrame(frame)) {
      state.SkipWithError("frame lost");
      break;
    }
    ++frames;
    benchmark::DoNotOptimize(frame.data());
  }
  engine->StopCapture();
  engine.reset();
  nivexa::sim::removeCamera(camera);
  state.SetBytesProcessed(frames * frameBytes(bits));
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EngineToConsumer)
    ->ArgsProduct({{8, 16}, {kFast, kReal}})
    ->ArgNames({"bits", "real_pacing"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

// The whole camera object: a callback preview, one frame message awaited per iteration.
void BM_CallbackPreview(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  auto camera = nivexa::sim::createCamera(benchCamera(state.range(1)));
  HWND sink = NivexaMsg_CreateSink();
  const LONG h = Nivexa_Initialize(nullptr);
  std::vector<uint8_t> buffer(static_cast<size_t>(frameBytes(bits)));
  if (!Nivexa_SetColorMode(h, bits) || !Nivexa_SetWaitTime(h, 0) ||
      !Nivexa_CallBackPreview(h, sink, buffer.data(), static_cast<LONG>(buffer.size()), 1)) {
    state.SkipWithError("preview did not start");
  } else {
    int64_t frames = 0;
    for (auto _ : state) {
      NivexaMsg message{};
      if (!NivexaMsg_Get(sink, &message, 5000) || message.lParam != 0) {
        state.SkipWithError("frame lost");
        break;
      }
      ++frames;
      benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(frames * frameBytes(bits));
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  }
  Nivexa_Release(h);
  NivexaMsg_DestroySink(sink);
  nivexa::sim::removeCamera(camera);
}
BENCHMARK(BM_CallbackPreview)
    ->ArgsProduct({{8, 16}, {kFast, kReal}})
    ->ArgNames({"bits", "real_pacing"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace

void RateReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") {
      continue;
    }
    const auto found = run.counters.find("fps");
    if (found != run.counters.end()) {
      rates_[run.run_name.function_name + "/" + run.run_name.args] = found->second.value;
    }
  }
}

double RateReporter::rate(const std::string& benchmark, const char* bits,
                          const char* pacing) const {
  const auto found = rates_.find(benchmark + "/bits:" + bits + "/real_pacing:" + pacing);
  return found == rates_.end() ? 0.0 : found->second;
}

// Buffer streams against the two reference rates of camera_rates.cpp, in one run: a raw stream
// against the engine's own rate (its frames are read straight into the application's buffer,
// where the engine's consumer copies each out of its frame slot once), and a processed stream
// against the callback preview (both take the frame into the pipeline's bitmap and copy the
// output bitmap out once). Four application buffers, each queued again as soon as it is back.
#include <cstdio>
#include <vector>

#include "NivexaSdk.h"
#include "NivexaStream.h"
#include "camera_rates.h"
#include "sim/CameraSet.h"

namespace {

constexpr int kBuffers = 4;
constexpr int32_t kWaitMs = 5000;

void runBufferStream(benchmark::State& state, int32_t flags) {
  const int bits = static_cast<int>(state.range(0));
  auto camera = nivexa::sim::createCamera(benchCamera(state.range(1)));
  const LONG h = Nivexa_Initialize(nullptr);
  std::vector<std::vector<uint8_t>> memory;
  std::vector<NivexaBuffer> buffers(kBuffers);
  const uint32_t bytes = Nivexa_SetColorMode(h, bits) != 0 ? NivexaStream_FrameBytes(h, flags) : 0;
  bool started = bytes != 0;
  for (NivexaBuffer& buffer : buffers) {
    memory.emplace_back(bytes);
    buffer.data = memory.back().data();
    buffer.capacity = bytes;
    started = started && NivexaStream_Queue(h, &buffer) != 0;
  }
  started = started && NivexaStream_Start(h, flags) != 0;
  if (!started) {
    state.SkipWithError("buffer stream did not start");
  } else {
    int64_t frames = 0;
    for (auto _ : state) {
      NivexaBuffer* filled = NivexaStream_Wait(h, kWaitMs);
      if (filled == nullptr || filled->status != NIVEXA_BUFFER_COMPLETE) {
        state.SkipWithError("frame lost");
        break;
      }
      ++frames;
      benchmark::DoNotOptimize(filled->data);
      NivexaStream_Queue(h, filled);
    }
    NivexaStreamStatistics statistics{};
    NivexaStream_GetStatistics(h, &statistics);
    state.SetBytesProcessed(frames * frameBytes(bits));
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["lost"] = static_cast<double>(statistics.framesLost);
    state.counters["dropped"] = static_cast<double>(statistics.framesDropped);
  }
  NivexaStream_Stop(h);
  Nivexa_Release(h);
  nivexa::sim::removeCamera(camera);
}

void BM_RawBufferStream(benchmark::State& state) {
  runBufferStream(state, 0);
}
BENCHMARK(BM_RawBufferStream)
    ->ArgsProduct({{8, 16}, {kFast, kReal}})
    ->ArgNames({"bits", "real_pacing"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

void BM_ProcessedBufferStream(benchmark::State& state) {
  runBufferStream(state, NIVEXA_STREAM_PROCESSED);
}
BENCHMARK(BM_ProcessedBufferStream)
    ->ArgsProduct({{8, 16}, {kFast, kReal}})
    ->ArgNames({"bits", "real_pacing"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

class StreamRatios : public RateReporter {
 public:
  void Finalize() override {
    RateReporter::Finalize();
    for (const char* pacing : {"0", "1"}) {
      for (const char* bits : {"8", "16"}) {
        const char* timing = *pacing == '1' ? "camera's frame timing" : "frames at once";
        const double engine = rate("BM_EngineToConsumer", bits, pacing);
        const double raw = rate("BM_RawBufferStream", bits, pacing);
        const double callback = rate("BM_CallbackPreview", bits, pacing);
        const double processed = rate("BM_ProcessedBufferStream", bits, pacing);
        if (engine > 0 && raw > 0) {
          std::printf("%s bit, %s: raw stream %.1f fps, engine %.1f fps, raw / engine = %.3f\n",
                      bits, timing, raw, engine, raw / engine);
        }
        if (callback > 0 && processed > 0) {
          std::printf(
              "%s bit, %s: processed stream %.1f fps, callback preview %.1f fps, "
              "processed / callback = %.3f\n",
              bits, timing, processed, callback, processed / callback);
        }
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  StreamRatios reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

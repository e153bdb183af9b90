// A long buffer stream from a virtual camera at its own timing, with what the process holds from
// the OS sampled at a fixed period. A leak shows as growth between the end of the warm-up (caches,
// thread stacks and the allocator's arenas settle within the first minute) and the end of the
// run; the counters report that growth, which a sound library keeps at 0 for descriptors, threads
// and mappings. Memory is reported in KiB: the allocator may keep a page or two more or less.
//
// Its own flags, besides Google Benchmark's: --soak_seconds=N (600), --sample_seconds=N (10),
// --warmup_seconds=N (60). The temperature is read once a second, as a monitoring application
// would, so the control path is exercised beside the stream.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "NivexaSdk.h"
#include "NivexaStream.h"
#include "platform/ResourceUse.h"
#include "sim/CameraOptions.h"
#include "sim/CameraSet.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBuffers = 4;
constexpr int32_t kWaitMs = 1000;
constexpr int kEightBits = 8;
constexpr double kBytesPerKiB = 1024.0;

struct SoakSettings {
  int seconds = 600;
  int sampleSeconds = 10;
  int warmupSeconds = 60;
};
SoakSettings gSettings;

// Takes our own flags out of argv before Google Benchmark sees them; false on a malformed one.
bool takeSoakFlags(int& argc, char** argv) {
  const struct {
    std::string_view prefix;
    int* value;
  } flags[] = {{"--soak_seconds=", &gSettings.seconds},
               {"--sample_seconds=", &gSettings.sampleSeconds},
               {"--warmup_seconds=", &gSettings.warmupSeconds}};
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    bool taken = false;
    for (const auto& flag : flags) {
      if (arg.substr(0, flag.prefix.size()) == flag.prefix) {
        char* end = nullptr;
        const long value = std::strtol(argv[i] + flag.prefix.size(), &end, 10);
        if (end == argv[i] + flag.prefix.size() || *end != '\0' || value <= 0) {
          std::fprintf(stderr, "soak_bench: bad value in %s\n", argv[i]);
          return false;
        }
        *flag.value = static_cast<int>(value);
        taken = true;
      }
    }
    if (!taken) {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  return true;
}

struct Sample {
  double seconds = 0;
  nivexa::platform::ResourceUse use;
  int64_t frames = 0;
};

void printSample(const Sample& sample) {
  std::printf(
      "soak: %6.0f s  frames %8lld  fds %4zu  threads %3zu  mappings %5zu  rss %8.0f KiB"
      "  committed %9.0f KiB\n",
      sample.seconds, static_cast<long long>(sample.frames), sample.use.openHandles,
      sample.use.threads, sample.use.mappings,
      static_cast<double>(sample.use.residentBytes) / kBytesPerKiB,
      static_cast<double>(sample.use.committedBytes) / kBytesPerKiB);
  std::fflush(stdout);
}

template <typename Count>
double growth(const Sample& from, const Sample& to, Count nivexa::platform::ResourceUse::*field) {
  return static_cast<double>(to.use.*field) - static_cast<double>(from.use.*field);
}

void BM_SoakStream(benchmark::State& state) {
  nivexa::sim::CameraOptions options;
  options.pacing = nivexa::sim::Pacing::Real;
  auto camera = nivexa::sim::createCamera(options);
  const LONG h = Nivexa_Initialize(nullptr);
  std::vector<std::vector<uint8_t>> memory;
  std::vector<NivexaBuffer> buffers(kBuffers);
  const uint32_t bytes =
      Nivexa_SetColorMode(h, kEightBits) != 0 ? NivexaStream_FrameBytes(h, 0) : 0;
  bool started = bytes != 0;
  for (NivexaBuffer& buffer : buffers) {
    memory.emplace_back(bytes);
    buffer.data = memory.back().data();
    buffer.capacity = bytes;
    started = started && NivexaStream_Queue(h, &buffer) != 0;
  }
  started = started && NivexaStream_Start(h, 0) != 0;
  if (!started) {
    state.SkipWithError("buffer stream did not start");
    Nivexa_Release(h);
    nivexa::sim::removeCamera(camera);
    return;
  }

  std::vector<Sample> samples;
  int64_t frames = 0;
  int64_t badFrames = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(gSettings.seconds);
    auto nextSample = start;
    auto nextTemperature = start;
    for (auto now = start; now < end; now = Clock::now()) {
      if (now >= nextSample) {
        // The virtual camera logs every register access and driver request for tests, up to a
        // bound of several megabytes; emptied here so the samples show the library alone.
        camera->clearTrace();
        camera->clearRequests();
        samples.push_back({std::chrono::duration<double>(now - start).count(),
                           nivexa::platform::currentResourceUse(), frames});
        printSample(samples.back());
        nextSample += std::chrono::seconds(gSettings.sampleSeconds);
      }
      if (now >= nextTemperature) {
        NivexaBool ok = 0;
        benchmark::DoNotOptimize(Nivexa_GetTemperatureEx(h, &ok));
        nextTemperature += std::chrono::seconds(1);
      }
      NivexaBuffer* filled = NivexaStream_Wait(h, kWaitMs);
      if (filled == nullptr) {
        continue;
      }
      if (filled->status == NIVEXA_BUFFER_COMPLETE) {
        ++frames;
      } else {
        ++badFrames;
      }
      NivexaStream_Queue(h, filled);
    }
    samples.push_back({std::chrono::duration<double>(Clock::now() - start).count(),
                       nivexa::platform::currentResourceUse(), frames});
    printSample(samples.back());
  }

  NivexaStreamStatistics statistics{};
  NivexaStream_GetStatistics(h, &statistics);
  NivexaStream_Stop(h);
  Nivexa_Release(h);
  nivexa::sim::removeCamera(camera);

  // The first sample at or after the warm-up is the reference; a run shorter than the warm-up
  // compares its first sample with its last.
  const auto reference = std::find_if(samples.begin(), samples.end(), [](const Sample& sample) {
    return sample.seconds >= gSettings.warmupSeconds;
  });
  const Sample& from = reference != samples.end() ? *reference : samples.front();
  const Sample& to = samples.back();
  using nivexa::platform::ResourceUse;
  state.counters["fd_growth"] = growth(from, to, &ResourceUse::openHandles);
  state.counters["thread_growth"] = growth(from, to, &ResourceUse::threads);
  state.counters["mapping_growth"] = growth(from, to, &ResourceUse::mappings);
  state.counters["rss_growth_KiB"] = growth(from, to, &ResourceUse::residentBytes) / kBytesPerKiB;
  state.counters["committed_growth_KiB"] =
      growth(from, to, &ResourceUse::committedBytes) / kBytesPerKiB;
  state.counters["frames"] = static_cast<double>(frames);
  state.counters["not_complete"] = static_cast<double>(badFrames);
  state.counters["lost"] = static_cast<double>(statistics.framesLost);
  state.counters["dropped"] = static_cast<double>(statistics.framesDropped);
}

BENCHMARK(BM_SoakStream)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  if (!takeSoakFlags(argc, argv)) {
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 2;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

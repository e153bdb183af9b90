// How fast the virtual camera serves full 16-bit frames (request, header, payload in 512 KiB
// pieces straight into the reader's buffer), against a plain memcpy of the same bytes in the same
// pieces. The link it stands in for carries about 400 MB/s.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sim/Camera.h"

namespace {

using nivexa::sim::Camera;

constexpr size_t kPiece = 0x80000;
constexpr size_t kFrameBytes = 2048u * 1536u * 2u;

void fpgaWrite(Camera& camera, uint8_t reg, uint8_t value) {
  std::vector<uint8_t> data(64, 0);
  data[0] = reg;
  data[2] = value;
  camera.control({0x40, 0x30, 3, 0x40, 102}, data);
}

void BM_ServeFrame16(benchmark::State& state) {
  nivexa::sim::CameraOptions options;
  options.pacing = nivexa::sim::Pacing::Fast;
  options.noise = state.range(0) != 0;
  Camera camera(options);
  fpgaWrite(camera, 60, 2);  // 16-bit samples
  std::vector<uint8_t> request(64, 0);
  std::vector<uint8_t> header(64);
  std::vector<uint8_t> buffer(kFrameBytes);
  for (auto _ : state) {
    camera.control({0x42, 0xC2, 0, 0, 102}, request);
    auto h = camera.bulk(0x81, header);
    if (h.status != Camera::BulkStatus::Done || h.bytes != 64) {
      state.SkipWithError("no header");
      break;
    }
    uint32_t length = header[16] | (header[17] << 8) | (header[18] << 16) | (header[19] << 24);
    for (size_t at = 0; at < length; at += kPiece) {
      size_t piece = std::min(kPiece, length - at);
      camera.bulk(0x81, std::span<uint8_t>(buffer.data() + at, piece));
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFrameBytes);
}
BENCHMARK(BM_ServeFrame16)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MemcpyFrame16(benchmark::State& state) {
  std::vector<uint8_t> source(kFrameBytes, 0x5A);
  std::vector<uint8_t> buffer(kFrameBytes);
  for (auto _ : state) {
    for (size_t at = 0; at < kFrameBytes; at += kPiece) {
      std::memcpy(buffer.data() + at, source.data() + at, std::min(kPiece, kFrameBytes - at));
    }
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFrameBytes);
}
BENCHMARK(BM_MemcpyFrame16)->Unit(benchmark::kMillisecond)->UseRealTime();

// Prints the usual table, then each frame benchmark's rate against the memcpy baseline.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) {
        rates_[run.benchmark_name()] = it->second.value;
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    double baseline = 0;
    for (const auto& [name, rate] : rates_) {
      if (name.find("Memcpy") != std::string::npos) {
        baseline = rate;
      }
    }
    for (const auto& [name, rate] : rates_) {
      std::printf("%-36s %8.0f MB/s", name.c_str(), rate / 1e6);
      if (baseline > 0) {
        std::printf("  %.3f x memcpy", rate / baseline);
      }
      std::printf("%s\n", name.find("Serve") != std::string::npos && rate < 400e6
                              ? "  BELOW 400 MB/s"
                              : "");
    }
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

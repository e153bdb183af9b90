// Full 16-bit frames (header and payload) from a virtual camera that serves them as fast as it
// can, read once straight from the camera model and once through the controller and the driver.
// The second rate over the first is what the transport keeps of the camera's serving rate.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/CameraSet.h"
#include "transport/CVelCy3Cam.h"
#include "transport/FrameHeader.h"
#include "transport/drivers/VirtualCameraBackend.h"

namespace {

using nivexa::transport::CVelCy3Cam;
using nivexa::transport::FrameDescriptor;

constexpr size_t kFrameBytes = 2048 * 1536 * 2;
constexpr size_t kPiece = 0x80000;

struct Setup {
  std::shared_ptr<nivexa::sim::Camera> camera;
  std::unique_ptr<CVelCy3Cam> controller;
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kFrameBytes);
};

Setup& setup() {
  static Setup s = [] {
    Setup made;
    made.camera =
        nivexa::sim::createCamera({.serial = "BENCH", .pacing = nivexa::sim::Pacing::Fast});
    made.controller = std::make_unique<CVelCy3Cam>();
    std::string path;
    for (const auto& entry : nivexa::sim::cameras().entries()) {
      if (entry.camera == made.camera) {
        path = nivexa::transport::VirtualCameraBackend::devicePath(made.camera->options(),
                                                                   entry.instance);
      }
    }
    const int count = made.controller->EnumerateDevices();
    for (int i = 0; i < count; ++i) {
      if (made.controller->PathAt(i) == path) {
        made.controller->SetDeviceIndex(i);
      }
    }
    made.controller->PrepareStream();
    made.controller->WriteFpgaRegister(60, 2);  // 16-bit output
    return made;
  }();
  return s;
}

void VirtualCameraServes(benchmark::State& state) {
  Setup& s = setup();
  std::array<uint8_t, 64> control{};
  std::array<uint8_t, 64> header{};
  for (auto _ : state) {
    s.camera->control({0x42, 0xC2, 0, 0, 102}, control);
    auto r = s.camera->bulk(0x81, header);
    while (r.status == nivexa::sim::Camera::BulkStatus::Pending) {
      r = s.camera->bulk(0x81, header);
    }
    const auto length = nivexa::transport::decodeFrameHeader(header).payloadLength;
    for (size_t offset = 0; offset < length; offset += kPiece) {
      const size_t piece = std::min<size_t>(kPiece, length - offset);
      s.camera->bulk(0x81, std::span(s.buffer).subspan(offset, piece));
    }
    benchmark::DoNotOptimize(s.buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (64 + kFrameBytes));
}

void TransportReadsFrames(benchmark::State& state) {
  Setup& s = setup();
  FrameDescriptor frame;
  frame.receiveBuffer = s.buffer;
  s.controller->OpenStream();
  for (auto _ : state) {
    if (!s.controller->ReadFrameHeader(frame, 0) || !s.controller->ReadFramePayload(frame, 1000)) {
      state.SkipWithError("frame read failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (64 + kFrameBytes));
}

// Keeps the median rate of each benchmark so the ratio can be printed after the run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        auto it = run.counters.find("bytes_per_second");
        if (it != run.counters.end()) {
          rates[run.run_name.function_name] = it->second.value;
        }
      }
    }
  }
  std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("VirtualCameraServes", VirtualCameraServes)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(0.5)
      ->Repetitions(10)
      ->UseRealTime();
  benchmark::RegisterBenchmark("TransportReadsFrames", TransportReadsFrames)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(0.5)
      ->Repetitions(10)
      ->UseRealTime();
  // Repetitions of the two run interleaved, so that load from elsewhere on the machine falls on
  // both alike instead of on whichever happened to run at the time.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double camera = reporter.rates["VirtualCameraServes"];
  const double transport = reporter.rates["TransportReadsFrames"];
  if (camera > 0 && transport > 0) {
    std::printf(
        "virtual camera serves %.1f MB/s; transport reads %.1f MB/s; ratio %.3f "
        "(overhead %.1f %%)\n",
        camera / 1e6, transport / 1e6, transport / camera, 100.0 * (1.0 - transport / camera));
  }
  benchmark::Shutdown();
  return 0;
}

// Full 2048 x 1536 16-bit frames streamed from the virtual camera through the capture thread and
// the frame copy to a consumer, against the virtual camera's own serving rate in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/CNivexaUSB3R5SimpleSdk.h"
#include "engine/EngineConstants.h"
#include "platform/Clock.h"
#include "sim/Camera.h"
#include "sim/CameraSet.h"
#include "transport/CVelCy3Cam.h"
#include "transport/drivers/VirtualCameraBackend.h"

namespace {

using nivexa::sim::Camera;

constexpr size_t kPiece = 0x80000;
constexpr size_t kFrameBytes = 2048u * 1536u * 2u;

nivexa::sim::CameraOptions benchCamera() {
  nivexa::sim::CameraOptions options;
  options.pacing = nivexa::sim::Pacing::Fast;
  options.noise = true;
  return options;
}

// The camera alone: frame request, header and payload pieces straight into a buffer.
void BM_VirtualCameraServes(benchmark::State& state) {
  Camera camera(benchCamera());
  std::vector<uint8_t> fpgaDepth(64, 0);
  fpgaDepth[0] = 60;
  fpgaDepth[2] = 2;
  camera.control({0x40, 0x30, 3, 0x40, 102}, fpgaDepth);
  std::vector<uint8_t> request(64, 0);
  std::vector<uint8_t> header(64);
  std::vector<uint8_t> buffer(kFrameBytes);
  for (auto _ : state) {
    camera.control({0x42, 0xC2, 0, 0, 102}, request);
    if (camera.bulk(0x81, header).bytes != 64) {
      state.SkipWithError("no header");
      break;
    }
    const uint32_t length = header[16] | header[17] << 8 | header[18] << 16 | header[19] << 24;
    for (size_t at = 0; at < length; at += kPiece) {
      camera.bulk(0x81,
                  std::span<uint8_t>(buffer.data() + at, std::min<size_t>(kPiece, length - at)));
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrameBytes));
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VirtualCameraServes)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The camera behind the driver interface: request blocks and direct transfers on an overlapped
// handle, the way the transport issues them, without the transport and the engine.
void BM_VirtualCameraServesThroughDriver(benchmark::State& state) {
  using namespace nivexa::transport;
  nivexa::sim::CameraSet set;
  auto camera = set.add(benchCamera());
  std::vector<uint8_t> fpgaDepth(64, 0);
  fpgaDepth[0] = 60;
  fpgaDepth[2] = 2;
  camera->control({0x40, 0x30, 3, 0x40, 102}, fpgaDepth);
  VirtualCameraBackend backend(set);
  const DeviceHandle handle = backend.open(backend.enumerate(kCameraInterfaceGuid).at(0), true);
  std::vector<uint8_t> block(102, 0);
  block[0] = 0x42;  // vendor request 0xC2 to the endpoint: next frame
  block[1] = 0xC2;
  block[6] = 102;
  block[30] = 38;
  block[34] = 64;
  std::vector<uint8_t> record(38, 0);
  record[13] = 0x81;
  std::vector<uint8_t> buffer(kFrameBytes);
  nivexa::platform::Event event(nivexa::platform::Event::Reset::Auto);
  auto transfer = [&](std::span<uint8_t> out) {
    Overlapped overlapped(event);
    backend.ioctl(handle, kIoctlDirectTransfer, record, out, &overlapped);
    event.wait(nivexa::platform::kInfinite);
    const IoResult result = backend.overlappedResult(handle, overlapped, false);
    return result.ok ? result.bytesReturned : 0u;
  };
  for (auto _ : state) {
    backend.ioctl(handle, kIoctlVendorRequest, block, block, nullptr);
    if (transfer(std::span<uint8_t>(buffer.data(), 64)) != 64) {
      state.SkipWithError("no header");
      break;
    }
    const uint32_t length = buffer[16] | buffer[17] << 8 | buffer[18] << 16 | buffer[19] << 24;
    for (size_t at = 0; at < length; at += kPiece) {
      transfer(std::span<uint8_t>(buffer.data() + at, std::min<size_t>(kPiece, length - at)));
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  backend.close(handle);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrameBytes));
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VirtualCameraServesThroughDriver)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

// The engine: capture thread in continuous mode, consumer copying the newest frame each time.
void BM_EngineStreamsToConsumer(benchmark::State& state) {
  auto camera = nivexa::sim::createCamera(benchCamera());
  auto engine = std::make_unique<nivexa::engine::CNivexaUSB3R5SimpleSdk>();
  engine->SetProductId(nivexa::engine::kProductM7qxTec);
  engine->CreateController(nullptr);
  if (engine->CountDevices(nivexa::engine::kProductM7qxTec) < 1 || !engine->CreateSensor(0) ||
      !engine->SetOutputDepth(1) || !engine->StartCapture(0)) {
    state.SkipWithError("camera did not open");
    return;
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
  state.SetBytesProcessed(frames * static_cast<int64_t>(kFrameBytes));
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EngineStreamsToConsumer)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The register path the camera is opened and set through: FPGA register writes, each one vendor
// request through the controller and the driver to the camera model, on this thread alone (CPU
// time), so that what a request's log call site costs is not lost in frame rendering.
void BM_FpgaRegisterWrites(benchmark::State& state) {
  auto camera = nivexa::sim::createCamera(benchCamera());
  nivexa::transport::CVelCy3Cam controller;
  std::string path;
  for (const auto& entry : nivexa::sim::cameras().entries()) {
    if (entry.camera == camera) {
      path = nivexa::transport::VirtualCameraBackend::devicePath(camera->options(), entry.instance);
    }
  }
  const int count = controller.EnumerateDevices();
  for (int i = 0; i < count; ++i) {
    if (controller.PathAt(i) == path) {
      controller.SetDeviceIndex(i);
    }
  }
  uint8_t value = 0;
  for (auto _ : state) {
    if (!controller.WriteFpgaRegister(7, value++)) {
      state.SkipWithError("register write failed");
      break;
    }
  }
  nivexa::sim::removeCamera(camera);
}
BENCHMARK(BM_FpgaRegisterWrites)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

// Prints the usual table, then the engine's rate as a share of the camera's serving rate.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // Single runs, or the median of repetitions.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") {
        continue;
      }
      const auto found = run.counters.find("bytes_per_second");
      if (found != run.counters.end()) {
        rates_[run.run_name.function_name] = found->second.value;
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const double engine = rates_["BM_EngineStreamsToConsumer"];
    if (engine <= 0) {
      return;
    }
    std::printf("\nengine delivers %.0f MB/s (%.1f fps) to the consumer\n", engine / 1e6,
                engine / static_cast<double>(kFrameBytes));
    for (const char* baseline : {"BM_VirtualCameraServes", "BM_VirtualCameraServesThroughDriver"}) {
      const double serve = rates_[baseline];
      if (serve > 0) {
        std::printf("%s: %.0f MB/s; engine / camera = %.3f (overhead %.1f %%)\n", baseline,
                    serve / 1e6, engine / serve, 100.0 * (1.0 - engine / serve));
      }
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

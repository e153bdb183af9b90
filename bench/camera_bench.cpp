// The callback preview's rate as a share of the engine's, in one run (camera_rates.cpp).
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "NivexaMessages.h"
#include "NivexaSdk.h"
#include "camera_rates.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "sim/Camera.h"
#include "sim/CameraSet.h"

namespace {

constexpr int kCameras = 2;
constexpr int kTwoCameraFrames = 1000;
constexpr int kTwoCameraWarmUp = 10;
constexpr int32_t kMessageWaitMs = 5000;
constexpr size_t kSerialBytes = 32;
constexpr double kTwoCameraGoal = 0.99;
constexpr int kOpenAttempts = 10;
constexpr int kMaxNames = 10;
constexpr int kNameBytes = 256;
constexpr uint32_t kOpenRetryMs = 200;

// One camera's callback preview on its own handle: counts the frame messages its consumer gets
// and what the camera's frame counter did meanwhile.
struct PreviewRun {
  std::shared_ptr<nivexa::sim::Camera> camera;
  LONG h = 0;
  HWND sink = nullptr;
  std::vector<uint8_t> buffer;
  int delivered = 0;
  uint32_t produced = 0;
  uint32_t unrendered = 0;
  bool failed = false;

  void consume() {
    // Messages posted while the other camera's preview started are older than this count.
    for (NivexaMsg stale{}; NivexaMsg_Get(sink, &stale, 0);) {
    }
    for (int i = 0; i < kTwoCameraWarmUp + kTwoCameraFrames; ++i) {
      NivexaMsg message{};
      if (!NivexaMsg_Get(sink, &message, kMessageWaitMs) || message.lParam != 0) {
        failed = true;
        return;
      }
      if (i == kTwoCameraWarmUp - 1) {
        produced = camera->frameCount();
        unrendered = camera->unrenderedFrames();
      } else if (i >= kTwoCameraWarmUp) {
        ++delivered;
      }
    }
    produced = camera->frameCount() - produced;
    unrendered = camera->unrenderedFrames() - unrendered;
  }
};

// Two virtual cameras at their own frame timing, full 8-bit frames, each through its own handle
// and callback preview with a consumer thread of its own: the share of each camera's frames that
// reaches its consumer.
void BM_TwoCamerasCallbackPreview(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<nivexa::sim::CameraOptions> options(kCameras, benchCamera(kReal));
    options[0].serial = "VC0001";
    options[1].serial = "VC0002";
    auto cameras = nivexa::sim::createCameras(options);
    std::vector<PreviewRun> runs(kCameras);
    bool started = true;
    for (int i = 0; i < kCameras && started; ++i) {
      PreviewRun& run = runs[static_cast<size_t>(i)];
      // Cameras just added may not be listed yet: a few attempts give the device list time.
      for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        run.h = Nivexa_Initialize(nullptr);
        char names[kMaxNames][kNameBytes] = {};
        if (Nivexa_EnumDevice(run.h, names) >= kCameras && Nivexa_SetDeviceNumber(run.h, i) != 0) {
          break;
        }
        Nivexa_Release(run.h);
        run.h = 0;
        nivexa::platform::sleepMs(kOpenRetryMs);
      }
      run.sink = NivexaMsg_CreateSink();
      run.buffer.resize(static_cast<size_t>(frameBytes(8)));
      char serial[kSerialBytes] = {};
      started = run.h != 0 && Nivexa_ReadSerialNumberA(run.h, serial, kSerialBytes) != 0;
      for (size_t c = 0; started && c < cameras.size(); ++c) {
        if (cameras[c]->options().serial == serial) {
          run.camera = cameras[c];
        }
      }
      started = started && run.camera && Nivexa_SetColorMode(run.h, 8) != 0 &&
                Nivexa_SetWaitTime(run.h, 0) != 0 &&
                Nivexa_CallBackPreview(run.h, run.sink, run.buffer.data(),
                                       static_cast<LONG>(run.buffer.size()), 1) != 0;
    }
    if (!started) {
      std::printf("a preview did not start: errors %ld, %ld\n",
                  static_cast<long>(Nivexa_GetLastError(runs[0].h)),
                  static_cast<long>(Nivexa_GetLastError(runs[1].h)));
    }
    if (!started || runs[0].camera == runs[1].camera) {
      state.SkipWithError("the two previews did not start on two cameras");
    } else {
      std::vector<nivexa::platform::Thread> consumers(kCameras);
      for (int i = 0; i < kCameras; ++i) {
        consumers[static_cast<size_t>(i)].start(
            [&run = runs[static_cast<size_t>(i)]] { run.consume(); });
      }
      for (auto& consumer : consumers) {
        consumer.join();
      }
      for (int i = 0; i < kCameras; ++i) {
        const PreviewRun& run = runs[static_cast<size_t>(i)];
        const double share =
            run.produced > 0 ? static_cast<double>(run.delivered) / run.produced : 0;
        std::printf(
            "two cameras at their own timing, camera %d: %d of %u frames delivered, %.4f (goal >= "
            "%.2f): %s; the camera model fell %u frames behind its clock (not produced)\n",
            i + 1, run.delivered, run.produced, share, kTwoCameraGoal,
            !run.failed && share >= kTwoCameraGoal ? "met" : "missed", run.unrendered);
        state.counters["share" + std::to_string(i + 1)] = share;
      }
    }
    for (PreviewRun& run : runs) {
      Nivexa_Release(run.h);
      if (run.sink != nullptr) {
        NivexaMsg_DestroySink(run.sink);
      }
    }
    for (const auto& camera : cameras) {
      nivexa::sim::removeCamera(camera);
    }
  }
}
BENCHMARK(BM_TwoCamerasCallbackPreview)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

class CallbackRatio : public RateReporter {
 public:
  void Finalize() override {
    RateReporter::Finalize();
    for (const char* pacing : {"0", "1"}) {
      for (const char* bits : {"8", "16"}) {
        const double engine = rate("BM_EngineToConsumer", bits, pacing);
        const double callback = rate("BM_CallbackPreview", bits, pacing);
        if (engine > 0 && callback > 0) {
          std::printf("%s bit, %s: callback %.1f fps, engine %.1f fps, callback / engine = %.3f\n",
                      bits, *pacing == '1' ? "camera's frame timing" : "frames at once", callback,
                      engine, callback / engine);
        }
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  CallbackRatio reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

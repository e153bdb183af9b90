// Parameters set from several threads while another thread switches between two cameras: the
// sensor behind the engine is replaced under them, which must never be seen half done.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "camera/ParameterTestSupport.h"
#include "transport/Fx3Protocol.h"

namespace nivexa::camera::test {
namespace {

TEST(ParameterConcurrency, SettersRacingADeviceChangeStayConsistent) {
  sim::CameraOptions options;
  options.pacing = sim::Pacing::Fast;
  options.noise = false;
  options.serial = "VC0001";
  auto first = sim::createCamera(options);
  options.serial = "VC0002";
  auto second = sim::createCamera(options);
  const LONG h = Nivexa_Initialize(nullptr);
  ASSERT_NE(h, 0);
  ASSERT_EQ(Nivexa_SetDeviceNumber(h, 0), 1);

  std::atomic<bool> stop{false};
  std::vector<std::thread> setters;
  for (int t = 0; t < 3; ++t) {
    setters.emplace_back([&, t] {
      BOOL ok = 0;
      for (int i = 0; !stop; ++i) {
        Nivexa_SetGlobalGain(h, (i * 7 + t) % 421);
        Nivexa_SetExposureTime(h, 1 + i % 2000);
        Nivexa_SetRealExposureTime(h, 100 * (1 + i % 500));
        Nivexa_GetExposureTimeEx(h, &ok);
        Nivexa_SetMirrorH(h, i & 1);
        Nivexa_SetFilterValue(h, 106, i % 4096);
        Nivexa_GetFilterValue(h, 105, &ok);
        Nivexa_SetColorMode(h, (i & 1) ? 8 : 16);
        Nivexa_GetTemperatureEx(h, &ok);
        Nivexa_SetBrightness(h, i % 256);
      }
    });
  }
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(Nivexa_SetDeviceNumber(h, (i + 1) % 2), 1) << i;
  }
  stop = true;
  for (auto& thread : setters) {
    thread.join();
  }

  // Quiet again: one more setting lands whole on the camera now open.
  EXPECT_EQ(Nivexa_SetGlobalGain(h, 123), 1);
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetGlobalGain(h, &ok), 123);
  EXPECT_EQ(Nivexa_SetRealExposureTime(h, 50000), 1);
  EXPECT_EQ(Nivexa_GetExposureTime(h, &ok), 500);
  EXPECT_DOUBLE_EQ(Nivexa_GetExposureTimeEx(h, &ok), 0.05);
  Nivexa_Release(h);
  sim::removeCamera(first);
  sim::removeCamera(second);
}

// A snapshot waits out a whole exposure; a parameter call made meanwhile is answered at once,
// as it would be during a preview, instead of waiting for the frame.
TEST(ParameterConcurrency, ParameterCallsAreAnsweredWhileASnapshotWaitsForItsFrame) {
  constexpr double kExposureSeconds = 0.5;
  sim::CameraOptions options;
  options.noise = false;
  auto camera = sim::createCamera(options);
  const LONG h = Nivexa_Initialize(nullptr);
  ASSERT_NE(h, 0);
  ASSERT_EQ(Nivexa_SetExposureTimeEx(h, kExposureSeconds), 1);
  // A narrow window keeps the frame's rendering short beside the exposure, also under the
  // sanitizers.
  ASSERT_EQ(Nivexa_SetCaptureWindowEx(h, 2048, 0, 256, 1536, 0, 256), 1);
  camera->clearRequests();

  std::atomic<bool> snapshotDone{false};
  std::vector<BYTE> image(static_cast<size_t>(Nivexa_Width(h)) * Nivexa_Height(h));
  std::thread snapshot([&] {
    EXPECT_EQ(Nivexa_SnapShot(h, image.data(), static_cast<LONG>(image.size()), 0), 1);
    snapshotDone = true;
  });
  // The snapshot is waiting once the engine reads the frame endpoint.
  const auto readsFrames = [&] {
    for (const sim::DriverRequest& request : camera->requests()) {
      if (request.endpoint == transport::fx3::kEndpointFrames) {
        return true;
      }
    }
    return false;
  };
  while (!readsFrames() && !snapshotDone) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(Nivexa_SetGlobalGain(h, 77), 1);
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetGlobalGain(h, &ok), 77);
  EXPECT_FALSE(snapshotDone) << "the parameter calls waited for the snapshot's frame";
  snapshot.join();
  Nivexa_Release(h);
  sim::removeCamera(camera);
}

}  // namespace
}  // namespace nivexa::camera::test

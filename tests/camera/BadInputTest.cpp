// What bad arguments, released handles and a camera pulled out mid-command get: documented
// error codes, and never a write past the caller's buffer, a crash or a hang.
#include <algorithm>
#include <atomic>
#include <thread>

#include "camera/CameraTestSupport.h"

namespace nivexa::camera::test {
namespace {

bool untouched(const std::vector<uint8_t>& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t v) { return v == 0xEE; });
}

TEST_F(CameraTest, NullOutputsAreRefusedOrSkipped) {
  EXPECT_EQ(Nivexa_EnumDevice(h_, nullptr), 1) << "counts without writing";
  EXPECT_EQ(Nivexa_EnumDeviceW(h_, nullptr), 1);
  EXPECT_EQ(Nivexa_GetDeviceName(h_, 0, nullptr, 100), 0);
  EXPECT_EQ(Nivexa_ReadSerialNumberA(h_, nullptr, 100), 0);
  EXPECT_EQ(Nivexa_ReadSerialNumberW(h_, nullptr, 100), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{12, 9, 9}));
  EXPECT_EQ(Nivexa_SnapShot(h_, nullptr, 1 << 30, 1), 1) << "no buffer: processed only";
  EXPECT_EQ(Nivexa_GetImage(h_, nullptr, 1 << 30, 1), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{5});
}

TEST_F(CameraTest, NegativeSizesCopyNothing) {
  std::vector<uint8_t> image(kFullFrame8, 0xEE);
  EXPECT_EQ(Nivexa_SnapShot(h_, image.data(), -1, 1), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{5, 5}));
  EXPECT_EQ(Nivexa_GetImage(h_, image.data(), -LONG(kFullFrame8), 0), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{5, 5}));
  EXPECT_TRUE(untouched(image));
  char name[64];
  EXPECT_EQ(Nivexa_GetDeviceName(h_, 0, name, -100), 0);
  wchar_t wide[8];
  EXPECT_EQ(Nivexa_GetDeviceNameW(h_, 0, wide, -1), 0);
  EXPECT_EQ(Nivexa_ReadSerialNumberA(h_, name, -32), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{9, 12, 9}));

  Sink frames;
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames, image.data(), -5, 1), 1);
  nivexa::test::TestMessage message{};
  ASSERT_TRUE(nextMessage(frames, message));
  EXPECT_EQ(message.lParam, NIVEXA_ERR_MEMORY);
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_TRUE(untouched(image));
}

TEST_F(CameraTest, CaptureWindowAndSubsampleAreValidatedAtStreamStart) {
  // Subsampling halves the frame: the image is a quarter of the full one.
  ASSERT_EQ(Nivexa_SetSubSample(h_, 1), 1);
  std::vector<uint8_t> image(kFullFrame8 / 4 + 16, 0xEE);
  ASSERT_EQ(Nivexa_SnapShot(h_, image.data(), LONG(kFullFrame8 / 4), 1), 1);
  EXPECT_TRUE(std::all_of(image.end() - 16, image.end(), [](uint8_t v) { return v == 0xEE; }));
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST(ReleasedHandle, AcquisitionExportsFailAndTheStreamStops) {
  auto camera = sim::createCamera(fastCamera());
  Sink frames;
  const LONG h = Nivexa_Initialize(nullptr);
  std::vector<uint8_t> image(kFullFrame8);
  ASSERT_EQ(Nivexa_CallBackPreview(h, frames, image.data(), LONG(image.size()), 1), 1);
  nivexa::test::TestMessage message{};
  ASSERT_TRUE(nextMessage(frames, message));
  ASSERT_EQ(Nivexa_Release(h), 1) << "while previewing";
  frames.take();
  EXPECT_FALSE(nextMessage(frames, message, 200)) << "no frame after the release returned";
  EXPECT_EQ(Nivexa_StartPreview(h), 0);
  EXPECT_EQ(Nivexa_SnapShot(h, image.data(), LONG(image.size()), 1), 0);
  EXPECT_EQ(Nivexa_GetImage(h, image.data(), LONG(image.size()), 1), 0);
  EXPECT_EQ(Nivexa_Trigger(h, frames, image.data(), LONG(image.size()), 1), 0);
  EXPECT_EQ(Nivexa_Close(h), 0);
  EXPECT_EQ(Nivexa_GetLastError(h), 0);
  sim::removeCamera(camera);
}

TEST_F(CameraTest, UnplugDuringSnapShotsEndsEachWithADocumentedCode) {
  std::atomic<bool> done{false};
  std::vector<uint8_t> image(kFullFrame8);
  std::thread shooter([&] {
    for (int i = 0; i < 6; ++i) {
      const auto start = std::chrono::steady_clock::now();
      const BOOL ok = Nivexa_SnapShot(h_, image.data(), LONG(image.size()), 1);
      // Every access to the gone device runs into its own time-out, so this is slow, not stuck.
      EXPECT_LT(secondsSince(start), 30.0);
      if (!ok) {
        const LONG code = Nivexa_GetLastError(h_);
        EXPECT_TRUE(code == NIVEXA_ERR_FRAME || code == NIVEXA_ERR_DEVICE) << code;
      }
    }
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  camera_->unplug();
  shooter.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(Nivexa_Close(h_), 1);
  camera_->replug();
  ASSERT_EQ(Nivexa_SetDeviceNumber(h_, 0), 1);
  errors();
  EXPECT_EQ(Nivexa_SnapShot(h_, image.data(), LONG(image.size()), 1), 1) << "after replug";
}

}  // namespace
}  // namespace nivexa::camera::test

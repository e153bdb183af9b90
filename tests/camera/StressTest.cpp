// A callback preview under fire from several threads, ending with the handle released while
// they still call. Run under ThreadSanitizer as well.
#include <atomic>
#include <thread>

#include "camera/CameraTestSupport.h"

namespace nivexa::camera::test {
namespace {

TEST_F(CameraTest, CallbackPreviewSurvivesConcurrentCommandsAndRelease) {
  Sink frames;
  std::vector<uint8_t> callback(kFullFrame8 * 2);
  std::vector<uint8_t> copy(kFullFrame8 * 2);
  ASSERT_EQ(Nivexa_SetWaitTime(h_, 0), 1);
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames, callback.data(), LONG(callback.size()), 1), 1);
  const LONG h = h_;
  std::atomic<bool> stop{false};
  std::atomic<int> images{0};
  std::atomic<int> snapshotsTaken{0};

  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (int i = 0; !stop; ++i) {
      Nivexa_SetBrightness(h, i % 50);
      Nivexa_SetGlobalGain(h, i % 8);
      Nivexa_SetMirrorH(h, i & 1);
      Nivexa_SetExposureTimeEx(h, 0.001 * (1 + i % 5));
      Nivexa_SetColorMode(h, i % 3 == 0 ? 16 : 8);
      Nivexa_SetWaitTime(h, i % 3);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  threads.emplace_back([&] {
    while (!stop) {
      if (Nivexa_GetImage(h, copy.data(), LONG(copy.size()), 1)) {
        ++images;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  threads.emplace_back([&] {
    while (!stop) {
      // Refused while previewing; between a stop and a start it may find the object idle.
      if (Nivexa_SnapShot(h, nullptr, 0, 0)) {
        ++snapshotsTaken;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  });
  threads.emplace_back([&] {
    while (!stop) {
      Nivexa_StopPreview(h);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      Nivexa_StartPreview(h);
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
  });
  threads.emplace_back([&] {
    nivexa::test::TestMessage message{};
    while (!stop) {
      nivexa::test::takeMessage(frames, message, 5);
      Nivexa_GetLastError(h);
    }
  });

  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_EQ(Nivexa_Release(h), 1) << "while the others still call";
  h_ = 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stop = true;
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_GT(images.load(), 0);
  EXPECT_EQ(Nivexa_StartPreview(h), 0) << "the handle is gone";
}

}  // namespace
}  // namespace nivexa::camera::test

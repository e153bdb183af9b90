// The viewer's hand-over of frames from the library's stream thread to the interface, with a
// display slower than the camera: the display only ever goes forward, every frame is shown or
// skipped (the newest waiting one at most is neither when the stream stops), and the recording
// tap still gets every frame the library delivered.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "FrameSource.h"
#include "NivexaSdk.h"
#include "Recorder.h"
#include "sim/CameraSet.h"

namespace nivexa::viewer {
namespace {

constexpr int kFramesToShow = 10;
constexpr auto kPoll = std::chrono::milliseconds(2);
constexpr auto kPatience = std::chrono::seconds(60);

TEST(FrameSource, TheDisplayGoesForwardAndTheRecordingMissesNothing) {
  sim::CameraOptions options;
  options.pacing = sim::Pacing::Fast;
  options.noise = false;
  auto camera = sim::createCamera(options);
  const int32_t h = Nivexa_Initialize(nullptr);
  ASSERT_NE(h, 0);
  ASSERT_EQ(Nivexa_SetColorMode(h, 8), 1);
  // A narrow window keeps the frames quick under the sanitizers too.
  ASSERT_EQ(Nivexa_SetCaptureWindowEx(h, 2048, 0, 2048, 1536, 0, 256), 1);
  const std::filesystem::path file =
      std::filesystem::path(::testing::TempDir()) /
      ("viewer-frames-" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".raw");
  Recorder recorder;
  ASSERT_TRUE(recorder.start(h, file.string()));

  FrameSource source;
  source.setTap([&recorder](const NivexaBuffer& buffer) { recorder.write(buffer); });
  ASSERT_TRUE(source.start(h, NIVEXA_STREAM_PROCESSED));
  Frame frame;
  int shown = 0;
  uint32_t last = 0;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  uint64_t deliveredAtLastTake = 0;
  while (shown < kFramesToShow && std::chrono::steady_clock::now() < deadline) {
    // The display takes a frame only once two have come since its last one: the older of them
    // must have been skipped, whatever the speed of this machine.
    const uint64_t delivered = source.counts().delivered;
    if (delivered < deliveredAtLastTake + 2) {
      std::this_thread::sleep_for(kPoll);
      continue;
    }
    deliveredAtLastTake = delivered;
    if (source.takeNewest(frame)) {
      if (shown > 0) {
        EXPECT_GT(frame.number, last) << "frame " << shown;
      }
      last = frame.number;
      ++shown;
      EXPECT_EQ(frame.width, Nivexa_Width(h));
      EXPECT_EQ(frame.height, Nivexa_Height(h));
      EXPECT_EQ(frame.data.size(), static_cast<size_t>(frame.stride) * frame.height);
    }
  }
  source.stop();
  recorder.stop();

  EXPECT_EQ(shown, kFramesToShow);
  EXPECT_FALSE(source.failed());
  const FrameCounts counts = source.counts();
  EXPECT_EQ(counts.shown, static_cast<uint64_t>(shown));
  EXPECT_GE(counts.skipped, counts.shown - 1);
  EXPECT_GE(counts.delivered, counts.shown + counts.skipped);
  EXPECT_LE(counts.delivered - counts.shown - counts.skipped, 1u);
  NivexaStreamStatistics statistics{};
  ASSERT_EQ(NivexaStream_GetStatistics(h, &statistics), 1);
  EXPECT_EQ(recorder.frames(), statistics.framesDelivered);
  EXPECT_FALSE(recorder.writeFailed());
  EXPECT_EQ(std::filesystem::file_size(file), recorder.bytes());
  EXPECT_EQ(recorder.bytes(),
            recorder.frames() * static_cast<uint64_t>(Nivexa_Width(h)) * Nivexa_Height(h));
  std::filesystem::remove(file);
  Nivexa_Release(h);
  sim::removeCamera(camera);
}

}  // namespace
}  // namespace nivexa::viewer

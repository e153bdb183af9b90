#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "output/AviRecorder.h"
#include "output/AviTestSupport.h"
#include "output/RecorderTestSupport.h"

namespace nivexa::output {
namespace {

using test::FakeSource;

struct Recorded {
  RecordingStats stats;
  std::vector<uint64_t> used;
  std::vector<uint32_t> errors;
};

// Records from `source` until the recording ends by itself.
Recorded record(const std::string& path, FakeSource& source, RecordingOptions options) {
  Recorded out;
  std::mutex errorsMutex;
  AviRecorder recorder;
  EXPECT_EQ(recorder.Start(path, options, source,
                           [&](uint32_t code) {
                             std::lock_guard<std::mutex> lock(errorsMutex);
                             out.errors.push_back(code);
                           }),
            0u);
  EXPECT_TRUE(recorder.WaitFinished(30000));
  recorder.Stop();
  out.stats = recorder.LastStats();
  out.used = source.used();
  return out;
}

double parseRate(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) {
    return 0;
  }
  return std::stod(text.substr(0, slash)) / std::stod(text.substr(slash + 1));
}

// What an independent reader makes of a finished recording.
void expectPlayable(const std::string& path, int32_t bpp, int32_t width, int32_t height,
                    const Recorded& recorded) {
  SCOPED_TRACE(path);
  ASSERT_GE(recorded.used.size(), recorded.stats.frames);
  if (!test::haveFfmpeg()) {
    return;
  }
  auto probed = test::probeStream(path);
  EXPECT_EQ(probed["codec_name"], "rawvideo");
  EXPECT_EQ(probed["pix_fmt"], "bgr24");
  EXPECT_EQ(probed["width"], std::to_string(width));
  EXPECT_EQ(probed["height"], std::to_string(height));
  EXPECT_EQ(probed["nb_frames"], std::to_string(recorded.stats.frames));
  EXPECT_EQ(probed["nb_read_packets"], std::to_string(recorded.stats.frames));
  EXPECT_NEAR(parseRate(probed["r_frame_rate"]), recorded.stats.rate / 100.0,
              recorded.stats.rate / 100.0 * 1e-4);
  ASSERT_GT(recorded.stats.frames, 0u);
  EXPECT_EQ(test::decodeFrame(path, 0),
            test::expectedBgr(bpp, width, height, recorded.used.front()))
      << "first frame";
  EXPECT_EQ(test::decodeFrame(path, recorded.stats.frames - 1),
            test::expectedBgr(bpp, width, height, recorded.used[recorded.stats.frames - 1]))
      << "last frame";
}

TEST(AviRecorderPlayers, EveryColourModeDecodesToTheExpectedPixels) {
  for (const uint16_t bpp : {8, 16, 24, 32, 48, 64}) {
    SCOPED_TRACE("depth " + std::to_string(bpp));
    // One odd width, so that row padding is read back too.
    const int32_t width = bpp == 24 ? 161 : 160;
    FakeSource source(width, 90, bpp);
    const std::string path = test::tempPath("mode" + std::to_string(bpp) + ".avi");
    RecordingOptions options;
    options.durationMs = 150;
    const Recorded recorded = record(path, source, options);
    EXPECT_TRUE(recorded.errors.empty());
    EXPECT_FALSE(recorded.stats.writeFailed);
    EXPECT_GE(recorded.stats.frames, 5u);
    expectPlayable(path, bpp, width, 90, recorded);
    const std::vector<uint8_t> bytes = test::readFile(path);
    EXPECT_EQ(recorded.stats.fileBytes, bytes.size());
    EXPECT_EQ(test::walkAvi(bytes).idx1Frames.size(), recorded.stats.frames);
    std::filesystem::remove(path);
  }
}

TEST(AviRecorderTiming, DurationZeroRecordsTheFirstFrameAndTheNextOne) {
  FakeSource source(32, 16, 8);
  const std::string path = test::tempPath("zero.avi");
  const Recorded recorded = record(path, source, RecordingOptions{});
  EXPECT_EQ(recorded.stats.frames, 2u);
  const test::AviContents contents = test::walkAvi(test::readFile(path));
  EXPECT_EQ(contents.streamLength, 2u);
  EXPECT_EQ(contents.scale, 1000000000u / recorded.stats.rate);
  std::filesystem::remove(path);
}

TEST(AviRecorderTiming, OnlyNewFramesAreRecordedAndTheRateIsMeasured) {
  FakeSource source(32, 16, 24, /*everyLook=*/false);
  const std::string path = test::tempPath("paced.avi");
  AviRecorder recorder;
  RecordingOptions options;
  options.durationMs = 400;
  ASSERT_EQ(recorder.Start(path, options, source, nullptr), 0u);
  // About 25 frames a second; the recorder looks four times between two of them.
  const auto begin = std::chrono::steady_clock::now();
  while (recorder.IsRecording() &&
         std::chrono::steady_clock::now() - begin < std::chrono::seconds(5)) {
    source.publish();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
  ASSERT_TRUE(recorder.WaitFinished(5000));
  const RecordingStats stats = recorder.LastStats();
  const std::vector<uint64_t> used = source.used();
  EXPECT_EQ(used.size(), stats.frames) << "a frame was taken twice";
  for (size_t i = 1; i < used.size(); ++i) {
    EXPECT_GT(used[i], used[i - 1]);
  }
  // Eleven or so frames over 400 ms: about 25 frames a second, far from the 100 looks a second.
  EXPECT_GE(stats.frames, 6u);
  EXPECT_LE(stats.frames, 16u);
  EXPECT_GT(stats.rate, 1500u);
  EXPECT_LT(stats.rate, 4000u);
  std::filesystem::remove(path);
}

TEST(AviRecorderStop, StoppedEarlyOrDestroyedTheFileIsComplete) {
  const std::string stopped = test::tempPath("stopped.avi");
  const std::string destroyed = test::tempPath("destroyed.avi");
  RecordingOptions options;
  options.durationMs = 60000;
  {
    FakeSource source(64, 32, 16);
    AviRecorder recorder;
    ASSERT_EQ(recorder.Start(stopped, options, source, nullptr), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(recorder.IsRecording());
    recorder.Stop();
    EXPECT_FALSE(recorder.IsRecording());
    Recorded recorded{recorder.LastStats(), source.used(), {}};
    EXPECT_GE(recorded.stats.frames, 3u);
    expectPlayable(stopped, 16, 64, 32, recorded);
  }
  FakeSource source(64, 32, 48);
  {
    AviRecorder recorder;
    ASSERT_EQ(recorder.Start(destroyed, options, source, nullptr), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const test::AviContents contents = test::walkAvi(test::readFile(destroyed));
  EXPECT_EQ(contents.streamLength, contents.idx1Frames.size());
  if (test::haveFfmpeg()) {
    EXPECT_EQ(test::probeStream(destroyed)["nb_read_packets"],
              std::to_string(contents.idx1Frames.size()));
  }
  std::filesystem::remove(stopped);
  std::filesystem::remove(destroyed);
}

TEST(AviRecorderStop, ASecondRecordingRewritesTheFileFromTheStart) {
  const std::string path = test::tempPath("again.avi");
  FakeSource source(32, 16, 8);
  RecordingOptions options;
  options.durationMs = 200;
  const Recorded first = record(path, source, options);
  options.durationMs = 0;
  const Recorded second = record(path, source, options);
  EXPECT_GT(first.stats.frames, second.stats.frames);
  const std::vector<uint8_t> bytes = test::readFile(path);
  EXPECT_EQ(bytes.size(), 232 + 2 * (8 + 1536 + 16) + 8);
  EXPECT_EQ(test::walkAvi(bytes).idx1Frames.size(), 2u);
  std::filesystem::remove(path);
}

TEST(AviRecorderFormats, FramesOfAnotherFormatAreSkippedAndBadStartsFail) {
  const std::string path = test::tempPath("switch.avi");
  FakeSource source(32, 16, 24);
  AviRecorder recorder;
  RecordingOptions options;
  options.durationMs = 60000;
  ASSERT_EQ(recorder.Start(path, options, source, nullptr), 0u);
  while (source.used().size() < 3) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const size_t usedBefore = source.switchDepth(8);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  recorder.Stop();
  const size_t before = recorder.LastStats().frames;
  EXPECT_GE(before, 3u);
  // Every frame of the first depth, and none of the other, however many a slow machine took.
  EXPECT_EQ(before, usedBefore);
  EXPECT_EQ(test::walkAvi(test::readFile(path)).idx1Frames.size(), before);
  std::filesystem::remove(path);

  EXPECT_EQ(recorder.Start(test::tempPath("missing/x.avi"), options, source, nullptr), 12u);
  FakeSource none(0, 0, 24);
  EXPECT_EQ(recorder.Start(path, options, none, nullptr), 12u);
  FakeSource odd(16, 16, 12);
  EXPECT_EQ(recorder.Start(path, options, odd, nullptr), 12u);
  EXPECT_EQ(platform::fileSize(path.c_str()), -1);
}

TEST(AviRecorderLong, RecordingPastTheFirstRiffChunkIsReadWhole) {
  const std::string path = test::tempPath("long.avi");
  FakeSource source(64, 48, 32);
  RecordingOptions options;
  options.durationMs = 300;
  // Small chunks: a busy machine (or Wine) records barely ten frames of 9 KiB in 300 ms.
  options.limits.plainBytes = 48 * 1024;
  options.limits.firstRiffBytes = 48 * 1024;
  options.limits.riffBytes = 32 * 1024;
  const Recorded recorded = record(path, source, options);
  const test::AviContents contents = test::walkAvi(test::readFile(path));
  EXPECT_TRUE(contents.extended);
  EXPECT_GE(contents.riffCount, 3u);
  EXPECT_EQ(contents.extendedFrames.size(), recorded.stats.frames);
  expectPlayable(path, 32, 64, 48, recorded);
  std::filesystem::remove(path);
}

// A source that delivers faster than the rate it announced: the plain layout chosen for the
// announced frames takes more while they fit, then the recording ends early with a complete file
// and no error.
TEST(AviRecorderLong, ASourceFasterThanItsBoundFillsAPlainFileThatEndsComplete) {
  const std::string path = test::tempPath("faster.avi");
  FakeSource source(64, 48, 32);
  RecordingOptions options;
  options.durationMs = 3000;
  options.maxFramesPerSecond = 1;  // 7 frames announced; the source has one for every look
  const uint64_t frameChunk = 8 + 64 * 48 * 3 + 16;
  options.limits.plainBytes = 232 + 12 * frameChunk + 8;
  const Recorded recorded = record(path, source, options);
  EXPECT_EQ(recorded.stats.frames, 12u);
  EXPECT_FALSE(recorded.stats.writeFailed);
  EXPECT_TRUE(recorded.errors.empty());
  const test::AviContents contents = test::walkAvi(test::readFile(path));
  EXPECT_FALSE(contents.extended);
  EXPECT_EQ(contents.idx1Frames.size(), 12u);
  expectPlayable(path, 32, 64, 48, recorded);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace nivexa::output

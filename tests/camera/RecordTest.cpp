#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "camera/CameraTestSupport.h"
#include "output/AviTestSupport.h"

namespace nivexa::camera::test {
namespace {

namespace fs = std::filesystem;
using nivexa::test::decodeFrame;
using nivexa::test::probeStream;
using nivexa::test::rd32;
using nivexa::test::readFile;

// Half the sensor in each direction keeps the files small: 1024 x 768. Recordings of a few
// seconds at most keep the plain layout (one RIFF chunk) that inspect() reads.
constexpr LONG kHalf = 1;
constexpr size_t kWidth = 1024;
constexpr size_t kHeight = 768;
constexpr size_t kFrameBytes = kWidth * kHeight * 3;

struct AviFacts {
  bool complete = false;
  uint32_t frames = 0;
  uint32_t microsecondsPerFrame = 0;
};

// A file the recorder has finished: the RIFF size covers the whole file and the index is there.
AviFacts inspect(const std::string& path) {
  AviFacts facts;
  const std::vector<uint8_t> b = readFile(path);
  if (b.size() < 240 || rd32(b, 4) != b.size() - 8) {
    return facts;
  }
  facts.frames = rd32(b, 48);
  facts.microsecondsPerFrame = rd32(b, 32);
  const uint64_t movi = uint64_t{4} + uint64_t{facts.frames} * (8 + kFrameBytes);
  facts.complete = rd32(b, 224) == movi && rd32(b, 140) == facts.frames &&
                   nivexa::test::tag(b, 228 + movi) == "idx1";
  return facts;
}

AviFacts waitForCompleteFile(const std::string& path, int timeoutMs) {
  AviFacts facts;
  for (int waited = 0; waited <= timeoutMs; waited += 50) {
    if (fs::exists(path) && (facts = inspect(path)).complete) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return facts;
}

// Frames reach the file as the stream delivers them, which a loaded machine slows down: the tests
// that stop a recording early wait for frames rather than for a time. A recording in progress is
// written under a temporary name beside its final one, which it takes when complete.
bool waitForFramesInProgress(const fs::path& dir, uint64_t frames) {
  const uint64_t size = 232 + frames * (8 + kFrameBytes);
  for (int waited = 0; waited <= 20000; waited += 20) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
      if (entry.path().extension() == ".tmp" && entry.file_size(error) >= size && !error) {
        return true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// `count` bytes of a file from `at`, without reading the whole of a large file.
std::vector<uint8_t> bytesOf(const std::string& path, uint64_t at, size_t count) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(at));
  std::vector<uint8_t> bytes(count);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

class Recording : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    dir_ = fs::path(::testing::TempDir()) /
           ("nivexa-record-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ASSERT_EQ(Nivexa_SetSubSample(h_, kHalf), 1);
    ASSERT_EQ(Nivexa_SetWaitTime(h_, 15), 1);
  }
  void TearDown() override {
    CameraTest::TearDown();
    fs::remove_all(dir_);
  }
  std::string path(const char* name) const { return (dir_ / name).string(); }

  // The recording as ffmpeg sees it: each decoded frame must be a gray picture of the frame
  // the pipeline put out, whose samples `expected` gives for pixel i.
  template <typename Expected>
  void expectReadable(const std::string& file, uint32_t frames, Expected expected) {
    if (!nivexa::test::haveFfmpeg()) {
      return;
    }
    auto stream = probeStream(file);
    EXPECT_EQ(stream["codec_name"], "rawvideo");
    EXPECT_EQ(stream["pix_fmt"], "bgr24");
    EXPECT_EQ(stream["width"], std::to_string(kWidth));
    EXPECT_EQ(stream["height"], std::to_string(kHeight));
    EXPECT_EQ(stream["nb_read_packets"], std::to_string(frames));
    const std::vector<uint8_t> last = decodeFrame(file, frames - 1);
    ASSERT_EQ(last.size(), kFrameBytes);
    // Noise is off: frames differ only as far as the sensor's temperature drifts.
    int worst = 0;
    for (size_t i = 0; i < kWidth * kHeight; i += 7) {
      for (int c = 0; c < 3; ++c) {
        worst = std::max(worst, std::abs(int{last[i * 3 + c]} - int{expected(i)}));
      }
    }
    EXPECT_LE(worst, 2);
  }

  fs::path dir_;
};

TEST_F(Recording, EightBitFramesEndByThemselvesAfterTheDuration) {
  const std::string file = path("eight.avi");
  ASSERT_EQ(Nivexa_Record(h_, file.c_str(), 300, 0), 1);
  const AviFacts facts = waitForCompleteFile(file, 30000);
  ASSERT_TRUE(facts.complete);
  EXPECT_GE(facts.frames, 2u);
  EXPECT_GT(facts.microsecondsPerFrame, 0u);
  // The stream goes on as a preview after the recording; a frame from it shows the same scene.
  std::vector<uint8_t> frame(kWidth * kHeight);
  ASSERT_EQ(Nivexa_GetImage(h_, frame.data(), LONG(frame.size()), 1), 1);
  expectReadable(file, facts.frames, [&](size_t i) { return frame[i]; });
  EXPECT_EQ(Nivexa_SnapShot(h_, nullptr, 0, 0), 0) << "still previewing";
  EXPECT_EQ(errors(), std::vector<LONG>{1});
}

TEST_F(Recording, SixteenBitFramesKeepTheirTwelveSignificantBits) {
  ASSERT_EQ(Nivexa_SetColorMode(h_, 16), 1);
  const std::string file = path("sixteen.avi");
  ASSERT_EQ(Nivexa_Record(h_, file.c_str(), 3000, 0), 1);
  ASSERT_TRUE(waitForFramesInProgress(dir_, 2));
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  const AviFacts facts = inspect(file);
  ASSERT_TRUE(facts.complete) << "a recording stopped early is completed all the same";
  ASSERT_GE(facts.frames, 2u);
  std::vector<uint8_t> wide(kWidth * kHeight * 2);
  ASSERT_EQ(Nivexa_GetImage(h_, wide.data(), LONG(wide.size()), 1), 1);
  expectReadable(file, facts.frames, [&](size_t i) {
    const int value = wide[2 * i] | (wide[2 * i + 1] << 8);
    return static_cast<uint8_t>(std::min(value / 16, 255));
  });
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(Recording, ReleaseCompletesTheFileAndASecondRecordingRewritesIt) {
  const std::string file = path("again.avi");
  ASSERT_EQ(Nivexa_Record(h_, file.c_str(), 3000, 0), 1);
  ASSERT_TRUE(waitForFramesInProgress(dir_, 2));
  // A second recording ends the first, truncates the file and starts it again.
  ASSERT_EQ(Nivexa_Record(h_, file.c_str(), 3000, 0), 1);
  ASSERT_TRUE(waitForFramesInProgress(dir_, 1));
  Nivexa_Release(h_);
  h_ = 0;
  const AviFacts facts = inspect(file);
  ASSERT_TRUE(facts.complete);
  EXPECT_EQ(fs::file_size(file),
            232 + facts.frames * (8 + kFrameBytes) + 8 + 16 * uint64_t{facts.frames});
  if (nivexa::test::haveFfmpeg()) {
    EXPECT_EQ(probeStream(file)["nb_read_packets"], std::to_string(facts.frames));
  }
}

// Full resolution at the camera's own frame timing: 9 MiB of 24-bit rows per frame, and two
// seconds may take most of 2 GiB, more than the first chunk of an extended file. Such a
// recording still has the plain layout, with every field where readers of that layout look.
class RealTimingRecording : public Recording {
 protected:
  sim::CameraOptions cameraOptions() const override {
    sim::CameraOptions options = fastCamera();
    options.pacing = sim::Pacing::Real;
    return options;
  }
};

// Two seconds at the default exposure, and three at an exposure so long that only the frame rate
// the sensor is programmed for keeps the frames under 2 GiB (the 10 ms looks alone would allow
// over 300 frames, almost 3 GiB).
TEST_F(RealTimingRecording, FullResolutionRecordingsThatFitHaveThePlainLayout) {
  ASSERT_EQ(Nivexa_SetSubSample(h_, 0), 1);
  ASSERT_EQ(Nivexa_SetWaitTime(h_, 0), 1);
  const uint64_t frameBytes = uint64_t{kFullWidth} * kFullHeight * 3;
  for (const auto& [exposureSeconds, durationMs] : {std::pair{0.0, 2000}, {0.5, 3000}}) {
    SCOPED_TRACE(std::to_string(durationMs) + " ms");
    if (exposureSeconds != 0.0) {
      ASSERT_EQ(Nivexa_SetExposureTimeEx(h_, exposureSeconds), 1);
    }
    const std::string file = path("full.avi");
    fs::remove(file);
    ASSERT_EQ(Nivexa_Record(h_, file.c_str(), durationMs, 0), 1);
    // The file takes its name once it is complete.
    for (int waited = 0; waited <= 60000 && !fs::exists(file); waited += 50) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(Nivexa_StopPreview(h_), 1);
    ASSERT_TRUE(fs::exists(file));
    const uint64_t size = fs::file_size(file);
    const std::vector<uint8_t> head = bytesOf(file, 0, 232);
    ASSERT_EQ(head.size(), 232u);
    const uint32_t frames = rd32(head, 48);
    // Under a sanitizer one full-resolution frame may take most of the recording; the layout is
    // still checked on what it wrote.
    ASSERT_GE(frames, NIVEXA_TEST_SANITIZED ? 1u : 2u);
    EXPECT_EQ(nivexa::test::tag(head, 0), "RIFF");
    EXPECT_EQ(rd32(head, 4), size - 8);
    EXPECT_EQ(nivexa::test::tag(head, 8), "AVI ");
    EXPECT_GT(rd32(head, 32), 0u);
    EXPECT_EQ(rd32(head, 140), frames);
    const uint64_t movi = 4 + frames * (8 + frameBytes);
    EXPECT_EQ(rd32(head, 224), movi);
    EXPECT_EQ(nivexa::test::tag(head, 228), "movi");
    const std::vector<uint8_t> index = bytesOf(file, 228 + movi, 8);
    ASSERT_EQ(index.size(), 8u);
    EXPECT_EQ(nivexa::test::tag(index, 0), "idx1");
    EXPECT_EQ(rd32(index, 4), 16 * frames);
    EXPECT_EQ(size, 228 + movi + 8 + 16 * uint64_t{frames});
    if (nivexa::test::haveFfmpeg()) {
      auto stream = probeStream(file);
      EXPECT_EQ(stream["codec_name"], "rawvideo");
      EXPECT_EQ(stream["width"], std::to_string(kFullWidth));
      EXPECT_EQ(stream["height"], std::to_string(kFullHeight));
      EXPECT_EQ(stream["nb_read_packets"], std::to_string(frames));
    }
  }
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(Recording, BadPathsAreRefusedAndLeaveNothingRunning) {
  EXPECT_EQ(Nivexa_Record(h_, nullptr, 100, 0), 0);
  EXPECT_EQ(Nivexa_Record(h_, "", 100, 0), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{9, 9}));

  const std::string unwritable = (dir_ / "no-such-folder" / "x.avi").string();
  EXPECT_EQ(Nivexa_Record(h_, unwritable.c_str(), 100, 0), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{12});
  EXPECT_FALSE(fs::exists(unwritable));
  // The stream that was started for it has been closed again: the object is idle, and so
  // takes another acquisition command.
  EXPECT_EQ(Nivexa_Capture(h_), 1);
  EXPECT_EQ(Nivexa_Close(h_), 1);

  const std::wstring wide = (dir_ / "wide.avi").wstring();
  ASSERT_EQ(Nivexa_RecordW(h_, wide.c_str(), 0, 0), 1);
  EXPECT_TRUE(waitForCompleteFile(path("wide.avi"), 30000).complete);
  // No path is refused as in the narrow form.
  EXPECT_EQ(Nivexa_RecordW(h_, nullptr, 0, 0), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_ARGUMENT});
}

}  // namespace
}  // namespace nivexa::camera::test

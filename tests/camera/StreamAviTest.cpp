// AVI files written from buffers through the public interface: what the stream delivered is
// what a reader finds in the file, and the file refuses what it cannot hold without harm.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "NivexaStream.h"
#include "TestFolder.h"
#include "camera/CameraTestSupport.h"
#include "output/AviTestSupport.h"

namespace nivexa::camera::test {
namespace {

namespace fs = std::filesystem;
using nivexa::test::readFile;
using nivexa::test::walkAvi;

constexpr LONG kHalf = 1;
constexpr int32_t kWaitMs = 5000;
constexpr int kFrames = 5;
constexpr int32_t kFileBytesPerPixel = 3;
constexpr int kSample16To8Shift = 4;
constexpr uint8_t kBrightest = 255;

// One buffer's frame as the application kept it.
struct KeptFrame {
  std::vector<uint8_t> bytes;
  int32_t width, height, bitsPerPixel, stride;
};

// The 24-bit pixel the file should hold for the source pixel at (x, y).
std::array<uint8_t, 3> expectedPixel(const KeptFrame& f, int32_t x, int32_t y) {
  const uint8_t* p = f.bytes.data() + static_cast<size_t>(y) * f.stride;
  switch (f.bitsPerPixel) {
    case 8:
      return {p[x], p[x], p[x]};
    case 16: {
      const int value = p[2 * x] | (p[2 * x + 1] << 8);
      const auto grey = static_cast<uint8_t>(std::min<int>(value >> kSample16To8Shift, kBrightest));
      return {grey, grey, grey};
    }
    default: {
      const int32_t bytes = f.bitsPerPixel / 8;
      return {p[bytes * x], p[bytes * x + 1], p[bytes * x + 2]};
    }
  }
}

// Every frame of the file against the frames appended, in order: the file's rows go bottom up.
void expectFramesInFile(const std::string& path, const std::vector<KeptFrame>& frames) {
  const std::vector<uint8_t> b = readFile(path);
  const nivexa::test::AviContents contents = walkAvi(b);
  ASSERT_EQ(contents.idx1Frames.size(), frames.size());
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(contents.width, static_cast<uint32_t>(frames[0].width));
  EXPECT_EQ(contents.height, static_cast<uint32_t>(frames[0].height));
  const size_t fileStride = (static_cast<size_t>(frames[0].width) * kFileBytesPerPixel + 3) & ~3u;
  for (size_t n = 0; n < frames.size(); ++n) {
    const KeptFrame& f = frames[n];
    size_t wrong = 0;
    for (int32_t y = 0; y < f.height; ++y) {
      const uint8_t* row = b.data() + contents.idx1Frames[n] + (f.height - 1 - y) * fileStride;
      for (int32_t x = 0; x < f.width; ++x) {
        const auto want = expectedPixel(f, x, y);
        wrong += !std::equal(want.begin(), want.end(), row + kFileBytesPerPixel * x);
      }
    }
    EXPECT_EQ(wrong, 0u) << "frame " << n;
  }
}

class StreamAvi : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    folder_ = nivexa::test::makeTestFolder("nivexa-stream-avi");
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override {
    if (h_ != 0) {
      NivexaStream_Stop(h_);
    }
    CameraTest::TearDown();
    std::error_code error;
    fs::remove_all(folder_, error);
  }
  std::string pathOf(const char* name) const { return (folder_ / name).string(); }
  fs::path folder_;
};

TEST_F(StreamAvi, EveryFrameAppendedFromTheStreamIsInTheFileAtEitherDepth) {
  ASSERT_EQ(Nivexa_SetSubSample(h_, kHalf), 1);
  for (const LONG mode : {8, 16}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(Nivexa_SetColorMode(h_, mode), 1);
    const uint32_t bytes = NivexaStream_FrameBytes(h_, NIVEXA_STREAM_PROCESSED);
    ASSERT_GT(bytes, 0u);
    std::vector<std::vector<uint8_t>> memory(2, std::vector<uint8_t>(bytes));
    std::vector<NivexaBuffer> buffers(2);
    for (size_t i = 0; i < buffers.size(); ++i) {
      buffers[i].data = memory[i].data();
      buffers[i].capacity = bytes;
      ASSERT_EQ(NivexaStream_Queue(h_, &buffers[i]), 1);
    }
    ASSERT_EQ(NivexaStream_Start(h_, NIVEXA_STREAM_PROCESSED), 1);
    const std::string path = pathOf(mode == 8 ? "eight.avi" : "sixteen.avi");
    // A known length keeps the classic layout; an unknown one has the extended index.
    const uint64_t maxFrames = mode == 8 ? kFrames : 0;
    NivexaAviFile* file = nullptr;
    std::vector<KeptFrame> kept;
    while (kept.size() < kFrames) {
      NivexaBuffer* filled = NivexaStream_Wait(h_, kWaitMs);
      ASSERT_NE(filled, nullptr);
      if (filled->status == NIVEXA_BUFFER_COMPLETE) {
        if (file == nullptr) {
          EXPECT_EQ(filled->bitsPerPixel, mode);
          file = NivexaStream_AviCreate(h_, path.c_str(), filled->width, filled->height,
                                        filled->bitsPerPixel, 0, maxFrames);
          ASSERT_NE(file, nullptr);
        }
        ASSERT_EQ(NivexaStream_AviAppend(file, filled), 1);
        const auto* data = static_cast<const uint8_t*>(filled->data);
        kept.push_back({std::vector<uint8_t>(data, data + filled->capacity), filled->width,
                        filled->height, filled->bitsPerPixel, filled->stride});
      }
      ASSERT_EQ(NivexaStream_Queue(h_, filled), 1);
    }
    ASSERT_EQ(NivexaStream_Stop(h_), 1);
    while (NivexaStream_Wait(h_, 0) != nullptr) {
    }
    EXPECT_EQ(NivexaStream_AviFrames(file), static_cast<uint64_t>(kFrames));
    // Until closed the recording has no name of its own.
    EXPECT_FALSE(fs::exists(path));
    ASSERT_EQ(NivexaStream_AviClose(file), 1);
    NivexaStream_AviRelease(file);
    EXPECT_EQ(errors(), std::vector<LONG>{});
    expectFramesInFile(path, kept);
    EXPECT_EQ(walkAvi(readFile(path)).extended, maxFrames == 0);
  }
}

TEST_F(StreamAvi, BadInputsAreRefusedWithTheirErrorAndNoFileIsLeftHalfWritten) {
  constexpr int32_t kWidth = 10;  // rows of 30 bytes in the file: padded to 32
  constexpr int32_t kHeight = 6;
  constexpr int32_t kDepth = 32;
  constexpr int32_t kStride = kWidth * kDepth / 8 + 8;  // a stride wider than the row is allowed
  constexpr double kRate = 25;
  constexpr uint64_t kPlainFrames = 2;
  constexpr uint32_t kMicrosecondsAt25 = 40000;
  const std::string path = pathOf("made.avi");

  EXPECT_EQ(
      NivexaStream_AviCreate(h_ + 1000, path.c_str(), kWidth, kHeight, kDepth, kRate, kPlainFrames),
      nullptr);
  EXPECT_EQ(NivexaStream_AviCreate(h_, nullptr, kWidth, kHeight, kDepth, kRate, kPlainFrames),
            nullptr);
  EXPECT_EQ(NivexaStream_AviCreate(h_, path.c_str(), 0, kHeight, kDepth, kRate, kPlainFrames),
            nullptr);
  EXPECT_EQ(NivexaStream_AviCreate(h_, path.c_str(), kWidth, kHeight, 12, kRate, kPlainFrames),
            nullptr);
  EXPECT_EQ(NivexaStream_AviCreate(h_, path.c_str(), kWidth, kHeight, kDepth, -1, kPlainFrames),
            nullptr);
  EXPECT_EQ(errors(), std::vector<LONG>(4, NIVEXA_ERR_ARGUMENT));
  const std::string nowhere = pathOf("missing-folder/made.avi");
  EXPECT_EQ(
      NivexaStream_AviCreate(h_, nowhere.c_str(), kWidth, kHeight, kDepth, kRate, kPlainFrames),
      nullptr);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_TEXT});

  NivexaAviFile* file =
      NivexaStream_AviCreate(h_, path.c_str(), kWidth, kHeight, kDepth, kRate, kPlainFrames);
  ASSERT_NE(file, nullptr);
  std::vector<uint8_t> pixels(static_cast<size_t>(kStride) * kHeight);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<uint8_t>(i * 7);
  }
  NivexaBuffer frame{};
  frame.data = pixels.data();
  frame.capacity = static_cast<uint32_t>(pixels.size());
  frame.status = NIVEXA_BUFFER_COMPLETE;
  frame.width = kWidth;
  frame.height = kHeight;
  frame.bitsPerPixel = kDepth;
  frame.stride = kStride;

  // Each buffer differs from the good one in one way.
  std::vector<NivexaBuffer> wrong(7, frame);
  wrong[0].data = nullptr;
  wrong[1].width = kWidth + 1;
  wrong[2].height = kHeight - 1;
  wrong[3].bitsPerPixel = 24;
  wrong[4].stride = kWidth * kDepth / 8 - 1;
  wrong[5].capacity = frame.capacity - 1;
  wrong[6].status = NIVEXA_BUFFER_INCOMPLETE;
  EXPECT_EQ(NivexaStream_AviAppend(file, nullptr), 0);
  for (const NivexaBuffer& bad : wrong) {
    EXPECT_EQ(NivexaStream_AviAppend(file, &bad), 0);
  }
  EXPECT_EQ(errors(), std::vector<LONG>(8, NIVEXA_ERR_ARGUMENT));
  EXPECT_EQ(NivexaStream_AviFrames(file), 0u);

  std::vector<KeptFrame> kept;
  for (int n = 0; n < 2; ++n) {
    ASSERT_EQ(NivexaStream_AviAppend(file, &frame), 1);
    kept.push_back({pixels, kWidth, kHeight, kDepth, kStride});
    std::reverse(pixels.begin(), pixels.end());
  }
  EXPECT_FALSE(fs::exists(path));
  ASSERT_EQ(NivexaStream_AviClose(file), 1);
  EXPECT_EQ(NivexaStream_AviAppend(file, &frame), 0);
  EXPECT_EQ(NivexaStream_AviClose(file), 0);
  EXPECT_EQ(errors(), std::vector<LONG>(2, NIVEXA_ERR_ARGUMENT));
  NivexaStream_AviRelease(file);
  // Released: refused without an error to record, and releasing again does nothing.
  EXPECT_EQ(NivexaStream_AviAppend(file, &frame), 0);
  EXPECT_EQ(NivexaStream_AviFrames(file), 0u);
  NivexaStream_AviRelease(file);
  NivexaStream_AviRelease(nullptr);
  EXPECT_EQ(errors(), std::vector<LONG>{});
  expectFramesInFile(path, kept);
  EXPECT_EQ(walkAvi(readFile(path)).microsecondsPerFrame, kMicrosecondsAt25);

  // A recording released without a close leaves nothing behind, and a file outlives its handle.
  const std::string dropped = pathOf("dropped.avi");
  NivexaAviFile* discard =
      NivexaStream_AviCreate(h_, dropped.c_str(), kWidth, kHeight, kDepth, kRate, kPlainFrames);
  ASSERT_NE(discard, nullptr);
  ASSERT_EQ(NivexaStream_AviAppend(discard, &frame), 1);
  const std::string kept2 = pathOf("after-handle.avi");
  NivexaAviFile* orphan = NivexaStream_AviCreate(h_, kept2.c_str(), kWidth, kHeight, kDepth, 0, 0);
  ASSERT_NE(orphan, nullptr);
  Nivexa_Release(h_);
  h_ = 0;
  NivexaStream_AviRelease(discard);
  EXPECT_EQ(NivexaStream_AviAppend(orphan, &frame), 1);
  EXPECT_EQ(NivexaStream_AviAppend(orphan, &wrong[1]), 0);
  EXPECT_EQ(NivexaStream_AviClose(orphan), 1);
  NivexaStream_AviRelease(orphan);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"after-handle.avi", "made.avi"}));
}

}  // namespace
}  // namespace nivexa::camera::test

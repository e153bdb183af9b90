#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "camera/CameraTestSupport.h"
#include "output/IndependentReaders.h"

namespace nivexa::camera::test {
namespace {

namespace fs = std::filesystem;

class SaveImage : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    dir_ = fs::path(::testing::TempDir()) /
           ("nivexa-save-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::remove_all(dir_);
    CameraTest::TearDown();
  }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  static std::vector<uint8_t> bytes(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  fs::path dir_;
};

TEST_F(SaveImage, NeedsAProcessedFrameFirst) {
  EXPECT_EQ(Nivexa_SaveImage(h_, path("a.png").c_str(), 5), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{1});
  EXPECT_FALSE(fs::exists(path("a.png")));
  EXPECT_EQ(Nivexa_SaveImage(0, path("a.png").c_str(), 5), 0);
  // After a snapshot it works; closing the stream ends the frame's validity.
  ASSERT_EQ(Nivexa_SnapShot(h_, nullptr, 0, 1), 1);
  EXPECT_EQ(Nivexa_SaveImage(h_, path("a.png").c_str(), 5), 1);
  ASSERT_EQ(Nivexa_Close(h_), 1);
  errors();
  EXPECT_EQ(Nivexa_SaveImage(h_, path("b.png").c_str(), 5), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{1});
}

TEST_F(SaveImage, FilesHoldTheSnapshotThatWasReturned) {
  std::vector<uint8_t> frame(kFullFrame8);
  ASSERT_EQ(Nivexa_SnapShot(h_, frame.data(), LONG(frame.size()), 1), 1);
  ASSERT_EQ(Nivexa_SaveImage(h_, path("f.raw").c_str(), 1), 1);
  EXPECT_EQ(bytes(path("f.raw")), frame);
  ASSERT_EQ(Nivexa_SaveImage(h_, path("f.png").c_str(), 5), 1);
  const auto png = output::testing::readPng(path("f.png"));
  ASSERT_TRUE(png.ok);
  ASSERT_EQ(png.height, uint32_t(kFullHeight));
  for (size_t y = 0; y < png.rows.size(); y += 97) {
    ASSERT_TRUE(std::equal(png.rows[y].begin(), png.rows[y].end(),
                           frame.begin() + static_cast<ptrdiff_t>(y * kFullWidth)))
        << "row " << y;
  }
  ASSERT_EQ(Nivexa_SaveImage(h_, path("f.bmp").c_str(), 0), 1);
  EXPECT_EQ(fs::file_size(path("f.bmp")), 1078u + kFullFrame8);

  // 16-bit frames keep their samples in TIFF.
  ASSERT_EQ(Nivexa_SetColorMode(h_, 16), 1);
  std::vector<uint8_t> wide(kFullFrame8 * 2);
  ASSERT_EQ(Nivexa_SnapShot(h_, wide.data(), LONG(wide.size()), 1), 1);
  ASSERT_EQ(Nivexa_SaveImage(h_, path("f.tif").c_str(), 6), 1);
  const auto tif = output::testing::readTiff(path("f.tif"));
  ASSERT_TRUE(tif.ok);
  EXPECT_EQ(tif.bitsPerSample, 16);
  EXPECT_EQ(tif.pixels, wide);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(SaveImage, WriterFailuresReturnZeroWithoutAnErrorCode) {
  ASSERT_EQ(Nivexa_SnapShot(h_, nullptr, 0, 1), 1);
  EXPECT_EQ(Nivexa_SaveImage(h_, path("a.img").c_str(), 7), 0);
  EXPECT_EQ(Nivexa_SaveImage(h_, path("missing/a.png").c_str(), 5), 0);
  EXPECT_EQ(Nivexa_SaveImage(h_, nullptr, 5), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{});
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(SaveImage, WidePathsConvertOrRecordError12) {
  ASSERT_EQ(Nivexa_SnapShot(h_, nullptr, 0, 1), 1);
  const std::string narrow = path("wide.jpg");
  const std::wstring wide(narrow.begin(), narrow.end());
  EXPECT_EQ(Nivexa_SaveImageW(h_, wide.c_str(), 2), 1);
  EXPECT_TRUE(fs::exists(narrow));
  const std::wstring tooLong = wide + L"/" + std::wstring(1100, L'x');
  EXPECT_EQ(Nivexa_SaveImageW(h_, tooLong.c_str(), 2), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{12});
}

// Saves while the acquisition thread processes frames. The virtual camera's successive frames
// differ too little to see a mixed frame in the pixels, so the check that the save and the
// pipeline never overlap is ThreadSanitizer's (this suite runs under it): the writer reads the
// output bitmap that the pipeline writes, and only the image lock keeps them apart.
TEST_F(SaveImage, SavingBesideACallbackPreviewSavesWholeFrames) {
  ASSERT_EQ(Nivexa_SetWaitTime(h_, 1), 1);
  std::vector<uint8_t> callbackBuffer(kFullFrame8);
  Sink frames;
  ASSERT_EQ(
      Nivexa_CallBackPreview(h_, frames, callbackBuffer.data(), LONG(callbackBuffer.size()), 1), 1);
  nivexa::test::TestMessage message{};
  int saved = 0;
  for (int i = 0; i < 8 && nextMessage(frames, message); ++i) {
    const auto raw = path("live.raw");
    ASSERT_EQ(Nivexa_SaveImage(h_, raw.c_str(), 1), 1) << "a frame was announced";
    EXPECT_EQ(fs::file_size(raw), kFullFrame8);
    const auto png = path("live.png");
    ASSERT_EQ(Nivexa_SaveImage(h_, png.c_str(), 5), 1);
    const auto decoded = output::testing::readPng(png);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.height, uint32_t(kFullHeight));
    ++saved;
  }
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_EQ(saved, 8);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

}  // namespace
}  // namespace nivexa::camera::test

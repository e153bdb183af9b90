// The tool's reading of a finished recording, against files of both layouts that the library's
// own writer made, whole and damaged.
#include <gtest/gtest.h>

#include <filesystem>

#include "AviSummary.h"
#include "output/AviTestSupport.h"
#include "output/AviWriter.h"

namespace nivexa::output {
namespace {

void writeRecording(const std::string& path, uint32_t frames, const AviLimits& limits) {
  AviFormat format;
  format.width = 64;
  format.height = 48;
  format.maxFrames = frames;
  AviWriter writer;
  ASSERT_TRUE(writer.Open(path, format, limits));
  std::vector<uint8_t> rows(writer.FrameBytes());
  for (uint32_t k = 0; k < frames; ++k) {
    std::fill(rows.begin(), rows.end(), static_cast<uint8_t>(k));
    ASSERT_EQ(writer.AppendFrame(rows), AppendResult::Written);
  }
  ASSERT_TRUE(writer.Close(2500));
}

TEST(AviSummary, EveryChunkCountsAndADamagedFileIsNotComplete) {
  const std::string path = test::tempPath("summary.avi");
  writeRecording(path, 5, AviLimits{});
  AviSummary plain = summarizeAvi(path);
  EXPECT_TRUE(plain.complete) << plain.problem;
  EXPECT_FALSE(plain.extended);
  EXPECT_EQ(plain.riffChunks, 1u);
  EXPECT_EQ(plain.frames, 5u);
  EXPECT_EQ(plain.fileBytes, std::filesystem::file_size(path));
  EXPECT_DOUBLE_EQ(plain.framesPerSecond, 25.0);

  // Small chunks: 40 frames of 9 KiB spread over several RIFF chunks.
  AviLimits small;
  small.plainBytes = 64 * 1024;
  small.firstRiffBytes = 64 * 1024;
  small.riffBytes = 48 * 1024;
  writeRecording(path, 40, small);
  const AviSummary extended = summarizeAvi(path);
  EXPECT_TRUE(extended.complete) << extended.problem;
  EXPECT_TRUE(extended.extended);
  EXPECT_GE(extended.riffChunks, 3u);
  EXPECT_EQ(extended.frames, 40u);
  EXPECT_EQ(extended.fileBytes, std::filesystem::file_size(path));

  // Without its last RIFF chunk the chain is whole, but the header counts frames that are gone.
  const std::vector<uint8_t> bytes = test::readFile(path);
  uint64_t lastRiff = 0;
  for (uint64_t at = 0; at < bytes.size(); at += 8 + uint64_t{test::rd32(bytes, at + 4)}) {
    lastRiff = at;
  }
  ASSERT_GT(lastRiff, 0u);
  std::filesystem::resize_file(path, lastRiff);
  EXPECT_FALSE(summarizeAvi(path).complete);
  // Cut inside a chunk.
  std::filesystem::resize_file(path, lastRiff - 100);
  const AviSummary cut = summarizeAvi(path);
  EXPECT_FALSE(cut.complete);
  EXPECT_FALSE(cut.problem.empty());
  EXPECT_FALSE(summarizeAvi(path + ".missing").complete);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace nivexa::output

#include <gtest/gtest.h>

#include <filesystem>

#include "output/AviTestSupport.h"
#include "output/AviWriter.h"
#include "platform/FileIO.h"

namespace nivexa::output {
namespace {

using test::BudgetSink;
using test::rd32;
using test::rd64;
using test::tag;

// Frame k of a test recording: every byte says which frame and which position it is.
std::vector<uint8_t> stampedFrame(uint32_t bytes, uint32_t k) {
  std::vector<uint8_t> frame(bytes);
  for (uint32_t i = 0; i < bytes; ++i) {
    frame[i] = static_cast<uint8_t>(k * 37 + i * 11 + (i >> 8));
  }
  return frame;
}

bool frameIntact(std::span<const uint8_t> file, uint64_t data, uint32_t bytes, uint32_t k) {
  const std::vector<uint8_t> expected = stampedFrame(bytes, k);
  return data + bytes <= file.size() &&
         std::equal(expected.begin(), expected.end(), file.begin() + static_cast<ptrdiff_t>(data));
}

AviFormat formatOf(int32_t width, int32_t height, uint64_t maxFrames) {
  AviFormat format;
  format.width = width;
  format.height = height;
  format.maxFrames = maxFrames;
  return format;
}

TEST(AviWriterLayout, Plain640x480DecodedFieldByField) {
  std::vector<uint8_t> file;
  AviWriter writer;
  ASSERT_TRUE(writer.Open(std::make_unique<BudgetSink>(file), formatOf(640, 480, 30)));
  EXPECT_FALSE(writer.Extended());
  const uint32_t F = 3 * 640 * 480;
  ASSERT_EQ(writer.FrameBytes(), F);

  // What is on disk before the end: everything up to the movi tag, with the values at open.
  ASSERT_EQ(file.size(), 232u);
  EXPECT_EQ(rd32(file, 32), 1000000u / 30);
  EXPECT_EQ(rd32(file, 48), 0u);
  EXPECT_EQ(rd32(file, 128), 10000000u / 30);
  EXPECT_EQ(rd32(file, 140), 0u);
  EXPECT_EQ(rd32(file, 224), 4u);

  const uint32_t n = 30;
  for (uint32_t k = 0; k < n; ++k) {
    ASSERT_EQ(writer.AppendFrame(stampedFrame(F, k)), AppendResult::Written);
  }
  // 30 frames over 1000 ms.
  const uint32_t rate = AviWriter::MeasuredRate(n, 1000);
  EXPECT_EQ(rate, 3000u);
  ASSERT_TRUE(writer.Close(rate));

  ASSERT_EQ(file.size(), 232 + n * (8 + F) + 8 + 16 * n);
  const std::vector<std::pair<uint32_t, uint32_t>> fields = {
      {4, static_cast<uint32_t>(file.size() - 8)},
      {16, 200},
      {28, 56},
      {32, 33333},
      {36, (F + 8) * (F + 8)},
      {40, 0},
      {44, 0x00010010},
      {48, n},
      {52, 0},
      {56, 1},
      {60, F + 8},
      {64, 640},
      {68, 480},
      {72, 0},
      {76, 0},
      {80, 0},
      {84, 0},
      {92, 124},
      {104, 64},
      {116, 0},
      {120, 0},
      {124, 0},
      {128, 333333},
      {132, 10000000},
      {136, 0},
      {140, n},
      {144, F + 8},
      {148, 0},
      {152, 0},
      {156, 0},
      {160, 0},
      {164, 0},
      {168, 0},
      {176, 40},
      {180, 40},
      {184, 640},
      {188, 480},
      {192, 1 | (24 << 16)},
      {196, 0},
      {200, 0},
      {204, 0},
      {208, 0},
      {212, 0},
      {216, 0},
      {224, 4 + n * (8 + F)},
  };
  for (const auto& [offset, value] : fields) {
    EXPECT_EQ(rd32(file, offset), value) << "at offset " << offset;
  }
  const std::vector<std::pair<uint32_t, std::string>> tags = {
      {0, "RIFF"},   {8, "AVI "},   {12, "LIST"},  {20, "hdrl"},  {24, "avih"},
      {88, "LIST"},  {96, "strl"},  {100, "strh"}, {108, "vids"}, {112, "DIB "},
      {172, "strf"}, {220, "LIST"}, {228, "movi"}};
  for (const auto& [offset, text] : tags) {
    EXPECT_EQ(tag(file, offset), text) << "at offset " << offset;
  }
  for (uint32_t k = 0; k < n; ++k) {
    const uint64_t chunk = 232 + uint64_t{k} * (8 + F);
    EXPECT_EQ(tag(file, chunk), "00db");
    EXPECT_EQ(rd32(file, chunk + 4), F);
    EXPECT_TRUE(frameIntact(file, chunk + 8, F, k)) << "frame " << k;
  }
  const uint64_t idx1 = 232 + uint64_t{n} * (8 + F);
  EXPECT_EQ(tag(file, idx1), "idx1");
  EXPECT_EQ(rd32(file, idx1 + 4), 16 * n);
  for (uint32_t k = 0; k < n; ++k) {
    const uint64_t entry = idx1 + 8 + 16 * k;
    EXPECT_EQ(tag(file, entry), "00db");
    EXPECT_EQ(rd32(file, entry + 4), 0x10u);
    EXPECT_EQ(rd32(file, entry + 8), 4 + k * (8 + F));
    EXPECT_EQ(rd32(file, entry + 12), F);
  }
}

TEST(AviWriterLayout, RowsOfOddWidthsArePaddedToFourBytes) {
  std::vector<uint8_t> file;
  AviWriter writer;
  ASSERT_TRUE(writer.Open(std::make_unique<BudgetSink>(file), formatOf(642, 3, 2)));
  EXPECT_EQ(writer.Stride(), 1928u);
  EXPECT_EQ(writer.FrameBytes(), 1928u * 3);
  EXPECT_EQ(writer.AppendFrame(std::vector<uint8_t>(642 * 3 * 3)), AppendResult::Rejected);
  ASSERT_EQ(writer.AppendFrame(stampedFrame(1928 * 3, 0)), AppendResult::Written);
  ASSERT_TRUE(writer.Close(3000));
  const test::AviContents contents = test::walkAvi(file);
  EXPECT_EQ(contents.width, 642u);
  ASSERT_EQ(contents.idx1Frames.size(), 1u);
  EXPECT_TRUE(frameIntact(file, contents.idx1Frames[0], 1928 * 3, 0));
}

TEST(AviWriterRate, MeasuredRateAndTheHeaderFieldsDerivedFromIt) {
  EXPECT_EQ(AviWriter::MeasuredRate(30, 1000), 3000u);
  EXPECT_EQ(AviWriter::MeasuredRate(2, 1), 200000u);
  EXPECT_EQ(AviWriter::MeasuredRate(1, 100000), 1u);  // at least 1
  EXPECT_EQ(AviWriter::MeasuredRate(1, 0), AviWriter::kOpenRate);
  // More frames than fit in 32 bits once multiplied by 100000.
  EXPECT_EQ(AviWriter::MeasuredRate(100000, 3333333), 3000u);

  std::vector<uint8_t> file;
  AviWriter writer;
  ASSERT_TRUE(writer.Open(std::make_unique<BudgetSink>(file), formatOf(4, 2, 2)));
  ASSERT_EQ(writer.AppendFrame(stampedFrame(24, 0)), AppendResult::Written);
  ASSERT_TRUE(writer.Close(1));
  EXPECT_EQ(rd32(file, 32), 100000000u);
  EXPECT_EQ(rd32(file, 128), 1000000000u);
}

TEST(AviWriterLayout, SuperIndexEntriesCarryFullSixtyFourBitOffsets) {
  RiffBuilder out;
  const std::vector<SuperIndexEntry> entries = {{0x123456789ABull, 48, 2}};
  putSuperIndex(out, entries, 3);
  const std::span<const uint8_t> b = out.bytes();
  ASSERT_EQ(b.size(), 8 + 24 + 3 * 16u);
  EXPECT_EQ(tag(b, 0), "indx");
  EXPECT_EQ(rd32(b, 4), 24 + 3 * 16u);
  EXPECT_EQ(rd32(b, 12), 1u);
  EXPECT_EQ(rd64(b, 32), 0x123456789ABull);
  EXPECT_EQ(rd32(b, 40), 48u);
  EXPECT_EQ(rd32(b, 44), 2u);
  EXPECT_EQ(std::count(b.begin() + 48, b.end(), 0), 32);

  RiffBuilder standard;
  const std::vector<uint32_t> offsets = {12, 400};
  putStandardIndex(standard, 0x1000000020ull, offsets, 384);
  const std::span<const uint8_t> s = standard.bytes();
  ASSERT_EQ(s.size(), 32 + 16u);
  EXPECT_EQ(rd64(s, 20), 0x1000000020ull);
  EXPECT_EQ(rd32(s, 32), 12u);
  EXPECT_EQ(rd32(s, 36), 384u);
  EXPECT_EQ(rd32(s, 40), 400u);
}

// A recording that outgrows the first RIFF chunk continues in AVIX chunks; both indexes find
// every frame, in order.
TEST(AviWriterExtended, LongRecordingContinuesInAvixChunks) {
  AviLimits limits;
  limits.plainBytes = 64 * 1024;
  limits.firstRiffBytes = 64 * 1024;
  limits.riffBytes = 48 * 1024;
  const uint32_t n = 40;
  std::vector<uint8_t> file;
  AviWriter writer;
  ASSERT_TRUE(writer.Open(std::make_unique<BudgetSink>(file), formatOf(64, 48, n), limits));
  ASSERT_TRUE(writer.Extended());
  const uint32_t F = writer.FrameBytes();
  for (uint32_t k = 0; k < n; ++k) {
    ASSERT_EQ(writer.AppendFrame(stampedFrame(F, k)), AppendResult::Written);
  }
  ASSERT_TRUE(writer.Close(2500));

  const test::AviContents contents = test::walkAvi(file);
  EXPECT_TRUE(contents.extended);
  EXPECT_GE(contents.riffCount, 4u);
  EXPECT_EQ(contents.streamLength, n);
  EXPECT_EQ(contents.odmlTotalFrames, n);
  EXPECT_EQ(contents.mainTotalFrames, contents.idx1Frames.size());
  EXPECT_EQ(contents.scale, 1000000000u / 2500);
  ASSERT_EQ(contents.extendedFrames.size(), n);
  ASSERT_LT(contents.idx1Frames.size(), n);
  for (size_t k = 0; k < contents.idx1Frames.size(); ++k) {
    EXPECT_EQ(contents.idx1Frames[k], contents.extendedFrames[k]);
  }
  for (uint32_t k = 0; k < n; ++k) {
    EXPECT_TRUE(frameIntact(file, contents.extendedFrames[k], F, k)) << "frame " << k;
  }
  // No RIFF chunk exceeds its limit.
  EXPECT_LE(uint64_t{rd32(file, 4)} + 8, limits.firstRiffBytes);
  for (uint64_t at = rd32(file, 4) + 8; at < file.size(); at += rd32(file, at + 4) + 8) {
    EXPECT_LE(uint64_t{rd32(file, at + 4)} + 8, limits.riffBytes);
  }
}

TEST(AviWriterExtended, PlainLayoutWhenTheBoundFitsAndFullBeyondIt) {
  // Full-resolution frames at the standard limits: 2 s at 100 frames per second and more fit in
  // a plain file below 2 GiB, although past the 1 GiB first chunk of an extended file.
  for (const auto& [frames, extended] :
       {std::pair{uint64_t{204}, false}, {uint64_t{227}, false}, {uint64_t{228}, true}}) {
    std::vector<uint8_t> file;
    AviWriter writer;
    ASSERT_TRUE(writer.Open(std::make_unique<BudgetSink>(file), formatOf(2048, 1536, frames)));
    EXPECT_EQ(writer.Extended(), extended) << frames << " frames";
    // The plain header ends with the movi tag at 228; the extended one has its indexes before.
    EXPECT_EQ(tag(file, 228) == "movi", !extended);
  }

  AviLimits limits;
  limits.plainBytes = 232 + 4 * (8 + 384 + 16) + 8;
  std::vector<uint8_t> file;
  AviWriter writer;
  ASSERT_TRUE(writer.Open(std::make_unique<BudgetSink>(file), formatOf(16, 8, 2), limits));
  EXPECT_FALSE(writer.Extended());
  // A source faster than it announced: the plain file takes frames while they fit, then is full,
  // not broken.
  for (uint32_t k = 0; k < 4; ++k) {
    ASSERT_EQ(writer.AppendFrame(stampedFrame(384, k)), AppendResult::Written);
  }
  EXPECT_EQ(writer.AppendFrame(stampedFrame(384, 4)), AppendResult::Full);
  EXPECT_TRUE(writer.Close(3000));
  EXPECT_EQ(file.size(), limits.plainBytes);
  const test::AviContents contents = test::walkAvi(file);
  EXPECT_FALSE(contents.extended);
  EXPECT_EQ(contents.idx1Frames.size(), 4u);
  EXPECT_EQ(contents.mainTotalFrames, 4u);
  EXPECT_EQ(contents.streamLength, 4u);

  // One frame more than fits in a plain file: the extended layout from the start.
  ASSERT_TRUE(writer.Open(std::make_unique<BudgetSink>(file), formatOf(16, 8, 5), limits));
  EXPECT_TRUE(writer.Extended());
  ASSERT_TRUE(writer.Close(3000));
  EXPECT_TRUE(test::walkAvi(file).extended);
}

// Whatever byte the disk refuses, the file that remains is a valid AVI holding every frame that
// was completely written and fits together with its index, and the writer reports failure.
void sweepBudgets(const AviFormat& format, const AviLimits& limits, uint32_t frames) {
  std::vector<uint8_t> full;
  {
    AviWriter writer;
    ASSERT_TRUE(writer.Open(std::make_unique<BudgetSink>(full), format, limits));
    for (uint32_t k = 0; k < frames; ++k) {
      ASSERT_EQ(writer.AppendFrame(stampedFrame(writer.FrameBytes(), k)), AppendResult::Written);
    }
    ASSERT_TRUE(writer.Close(3000));
  }
  const uint64_t headerBytes = 20 + uint64_t{rd32(full, 16)} + 12;
  size_t previousFrames = 0;
  for (uint64_t budget = 0; budget <= full.size() + 1; budget += 7) {
    std::vector<uint8_t> file;
    AviWriter writer;
    bool finished = false;
    if (!writer.Open(std::make_unique<BudgetSink>(file, budget, &finished), format, limits)) {
      EXPECT_LT(budget, headerBytes);
      continue;
    }
    uint32_t appended = 0;
    while (appended < frames && writer.AppendFrame(stampedFrame(writer.FrameBytes(), appended)) ==
                                    AppendResult::Written) {
      ++appended;
    }
    const bool closed = writer.Close(3000);
    if (budget >= full.size()) {
      ASSERT_TRUE(closed);
      ASSERT_EQ(file, full);
      continue;
    }
    ASSERT_FALSE(closed) << "budget " << budget;
    if (!finished) {
      continue;  // not even an empty index fitted: nothing is given the final name
    }
    SCOPED_TRACE("budget " + std::to_string(budget));
    const test::AviContents contents = test::walkAvi(file);
    if (::testing::Test::HasFailure()) {
      return;
    }
    const std::vector<uint64_t>& index =
        contents.extended ? contents.extendedFrames : contents.idx1Frames;
    EXPECT_EQ(contents.streamLength, index.size());
    for (uint32_t k = 0; k < index.size(); ++k) {
      ASSERT_TRUE(frameIntact(file, index[k], contents.frameBytes, k)) << "frame " << k;
    }
    if (!contents.extended) {
      // The most frames that fit with their index.
      uint64_t best = appended;
      while (best > 0 && 232 + best * (8 + contents.frameBytes + 16) + 8 > budget) {
        --best;
      }
      EXPECT_EQ(index.size(), best);
    }
    EXPECT_GE(index.size(), previousFrames) << "a larger disk kept fewer frames";
    previousFrames = index.size();
  }
}

TEST(AviWriterFailures, EveryRefusedWriteLeavesAValidPlainFile) {
  sweepBudgets(formatOf(16, 8, 12), AviLimits{}, 12);
}

TEST(AviWriterFailures, EveryRefusedWriteLeavesAValidExtendedFile) {
  AviLimits limits;
  limits.plainBytes = 3000;
  limits.firstRiffBytes = 3000;
  limits.riffBytes = 2000;
  sweepBudgets(formatOf(16, 8, 20), limits, 20);
}

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

TEST(AviWriterFiles, FileAppearsCompleteAndASecondRecordingReplacesIt) {
  const std::string folder = test::tempPath("replace");
  std::filesystem::remove_all(folder);
  ASSERT_TRUE(std::filesystem::create_directories(folder));
  const std::string path = folder + "/clip.avi";
  int64_t previousSize = -1;
  for (uint32_t frames : {5u, 2u}) {
    AviWriter writer;
    ASSERT_TRUE(writer.Open(path, formatOf(32, 16, frames)));
    for (uint32_t k = 0; k < frames; ++k) {
      ASSERT_EQ(writer.AppendFrame(stampedFrame(writer.FrameBytes(), k)), AppendResult::Written);
      EXPECT_EQ(platform::fileSize(path.c_str()), previousSize)
          << "the real name shows only a complete file";
    }
    ASSERT_TRUE(writer.Close(3000));
    const std::vector<uint8_t> bytes = test::readFile(path);
    EXPECT_EQ(bytes.size(), 232 + frames * (8 + 1536 + 16) + 8);
    previousSize = static_cast<int64_t>(bytes.size());
    EXPECT_EQ(test::walkAvi(bytes).idx1Frames.size(), frames);
    EXPECT_EQ(filesIn(folder), std::vector<std::string>{"clip.avi"});
  }
  AviWriter writer;
  EXPECT_FALSE(writer.Open(folder + "/missing/clip.avi", formatOf(32, 16, 1)));
  EXPECT_FALSE(writer.Open(path, formatOf(0, 16, 1)));
  EXPECT_GT(std::filesystem::remove_all(folder), 0u);
}

}  // namespace
}  // namespace nivexa::output

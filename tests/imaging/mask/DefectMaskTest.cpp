#include "imaging/mask/DefectMask.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "imaging/mask/MaskFile.h"
#include "imaging/mask/MaskTestSupport.h"

namespace nivexa::imaging::mask {
namespace {

// Test programs of several build trees may run at once on one machine: each file gets a name
// of its own.
std::string uniqueTempPath(const char* stem) {
  return ::testing::TempDir() + stem + "-" + std::to_string(std::random_device{}()) + ".msk";
}

// The product's sensor: the size its mask files record.
constexpr MaskSize kSensor{2048, 1536};

using test::fillRandom;
using test::samePixels;
using test::sampleAt;
using test::setSample;

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

class DefectMaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mask_.Create(kSensor), 1);
    path_ = uniqueTempPath("defect-mask-test");
    std::remove(path_.c_str());
  }
  void TearDown() override { std::remove(path_.c_str()); }

  // A mask with distinct content in all four references.
  void randomise(uint32_t seed) {
    std::mt19937 rng(seed);
    DibImage frame8, frame16;
    ASSERT_EQ(frame8.Create(kSensor.width, kSensor.height, 8), 1);
    ASSERT_EQ(frame16.Create(kSensor.width, kSensor.height, 16), 1);
    fillRandom(frame8, rng, 0, 255);
    mask_.Update(frame8, MaskKind::Dark);
    fillRandom(frame8, rng, 0, 255);
    mask_.Update(frame8, MaskKind::White);
    fillRandom(frame16, rng, 0, 4095);
    mask_.Update(frame16, MaskKind::Dark);
    fillRandom(frame16, rng, 0, 4095);
    mask_.Update(frame16, MaskKind::White);
  }

  bool unchangedFrom(const DefectMask& other) const {
    return samePixels(mask_.dark8(), other.dark8()) && samePixels(mask_.white8(), other.white8()) &&
           samePixels(mask_.dark16(), other.dark16()) &&
           samePixels(mask_.white16(), other.white16());
  }

  DefectMask mask_;
  std::string path_;
};

TEST_F(DefectMaskTest, StartsWithBlackAndFullScaleReferencesAndEmptyMaps) {
  EXPECT_EQ(sampleAt(mask_.dark8(), 100, 100), 0);
  EXPECT_EQ(sampleAt(mask_.white8(), 2047, 1535), 255);
  EXPECT_EQ(sampleAt(mask_.dark16(), 0, 0), 0);
  EXPECT_EQ(sampleAt(mask_.white16(), 1000, 700), 4095);
  EXPECT_EQ(sampleAt(mask_.hot8(), 100, 100), 0);
  EXPECT_EQ(sampleAt(mask_.dead16(), 100, 100), 0);
}

TEST_F(DefectMaskTest, SaveThenLoadRestoresEveryByteAndTheFileHasTheDocumentedSize) {
  randomise(1);
  ASSERT_TRUE(mask_.Save(path_.c_str()));
  const auto bytes = readAll(path_);
  ASSERT_EQ(bytes.size(), 40u + 2u * 3145728u + 2u * 6291456u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "OBLENT MASK1000");
  EXPECT_EQ(bytes[15], 0);
  DefectMask loaded;
  ASSERT_EQ(loaded.Create(kSensor), 1);
  ASSERT_TRUE(loaded.Load(path_.c_str()));
  EXPECT_TRUE(unchangedFrom(loaded));
  // Saved again, the file is byte for byte the same.
  const std::string again = path_ + ".2";
  ASSERT_TRUE(loaded.Save(again.c_str()));
  EXPECT_EQ(readAll(again), bytes);
  std::remove(again.c_str());
}

TEST_F(DefectMaskTest, DefectMapsFollowThresholdsAndSkipTheTwoOuterRowsAndColumns) {
  DibImage frame;
  ASSERT_EQ(frame.Create(kSensor.width, kSensor.height, 8), 1);
  setSample(frame, 10, 10, 193);      // hot
  setSample(frame, 11, 10, 192);      // not hot
  setSample(frame, 1, 10, 255);       // in the border
  setSample(frame, 2045, 1533, 255);  // last marked position
  mask_.Update(frame, MaskKind::Dark);
  EXPECT_EQ(sampleAt(mask_.hot8(), 10, 10), 1);
  EXPECT_EQ(sampleAt(mask_.hot8(), 11, 10), 0);
  EXPECT_EQ(sampleAt(mask_.hot8(), 1, 10), 0);
  EXPECT_EQ(sampleAt(mask_.hot8(), 2045, 1533), 1);
  DibImage wide;
  ASSERT_EQ(wide.Create(kSensor.width, kSensor.height, 16), 1);
  test::fillUniform(wide, 2000);
  setSample(wide, 20, 20, 1023);  // dead
  setSample(wide, 21, 20, 1024);
  mask_.Update(wide, MaskKind::White);
  EXPECT_EQ(sampleAt(mask_.dead16(), 20, 20), 1);
  EXPECT_EQ(sampleAt(mask_.dead16(), 21, 20), 0);
  EXPECT_EQ(sampleAt(mask_.white16(), 21, 20), 1024);
  // A frame that is not full-sensor copies nothing.
  DibImage part;
  ASSERT_EQ(part.Create(1024, 768, 8), 1);
  mask_.Update(part, MaskKind::White);
  EXPECT_EQ(sampleAt(mask_.white8(), 0, 0), 255);
}

TEST_F(DefectMaskTest, RejectedFilesChangeNothingAndBytesAfterTheDataAreIgnored) {
  randomise(2);
  ASSERT_TRUE(mask_.Save(path_.c_str()));
  const auto good = readAll(path_);
  DefectMask before;
  ASSERT_EQ(before.Create(kSensor), 1);
  ASSERT_TRUE(before.Load(path_.c_str()));
  randomise(3);  // the mask now differs from the file
  DefectMask current;
  ASSERT_EQ(current.Create(kSensor), 1);
  ASSERT_TRUE(mask_.Save((path_ + ".current").c_str()));
  ASSERT_TRUE(current.Load((path_ + ".current").c_str()));
  std::remove((path_ + ".current").c_str());

  auto putLe32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
  };
  std::vector<std::pair<const char*, std::vector<uint8_t>>> bad;
  bad.emplace_back("truncated", std::vector<uint8_t>(good.begin(), good.end() - 1000));
  bad.emplace_back("header only", std::vector<uint8_t>(good.begin(), good.begin() + 40));
  auto wrongMagic = good;
  wrongMagic[7] = 'X';
  bad.emplace_back("wrong magic", wrongMagic);
  auto height = good;
  putLe32(height, 20, 1535);
  bad.emplace_back("height 1535", height);
  auto sizes = good;
  putLe32(sizes, 32, 0x600001);
  bad.emplace_back("16-bit size", sizes);
  std::mt19937 rng(9);
  auto randomTail = std::vector<uint8_t>(good.begin(), good.begin() + 40);
  for (int i = 0; i < 5000; ++i) {
    randomTail.push_back(static_cast<uint8_t>(rng()));
  }
  bad.emplace_back("random bytes after a valid header", randomTail);
  bad.emplace_back("empty", std::vector<uint8_t>{});

  for (const auto& [what, bytes] : bad) {
    writeAll(path_, bytes);
    EXPECT_FALSE(mask_.Load(path_.c_str())) << what;
    EXPECT_TRUE(unchangedFrom(current)) << what;
  }
  EXPECT_FALSE(mask_.Load((path_ + ".missing").c_str()));
  // A whole file of another sensor would put its pixels at the wrong positions.
  DefectMask otherSensor;
  ASSERT_EQ(otherSensor.Create({640, 512}), 1);
  ASSERT_TRUE(otherSensor.Save(path_.c_str()));
  EXPECT_FALSE(mask_.Load(path_.c_str()));
  EXPECT_TRUE(unchangedFrom(current));
  EXPECT_TRUE(otherSensor.Load(path_.c_str()));
  EXPECT_FALSE(mask_.Load(nullptr));
  // And the good file still loads, with bytes after the announced data too: those are not read.
  auto longer = good;
  longer.insert(longer.end(), 17, 0x5A);
  writeAll(path_, longer);
  EXPECT_TRUE(mask_.Load(path_.c_str()));
  EXPECT_TRUE(unchangedFrom(before));
  randomise(5);
  writeAll(path_, good);
  EXPECT_TRUE(mask_.Load(path_.c_str()));
  EXPECT_TRUE(unchangedFrom(before));
}

TEST_F(DefectMaskTest, FailedSaveLeavesTheExistingFileAndNoTemporary) {
  randomise(4);
  ASSERT_TRUE(mask_.Save(path_.c_str()));
  const auto good = readAll(path_);
  EXPECT_FALSE(mask_.Save((::testing::TempDir() + "no-such-folder/x.msk").c_str()));
  EXPECT_FALSE(mask_.Save(""));
  EXPECT_EQ(readAll(path_), good);
}

// Header fields mutated one at a time, at every byte: only the exact documented header loads.
TEST(MaskFileHeader, OnlyTheDocumentedHeaderIsAccepted) {
  MaskFileHeader h{2048, 1536, {0x300000, 0x300000, 0x600000, 0x600000}};
  auto bytes = encodeMaskHeader(h);
  auto decoded = decodeMaskHeader(bytes);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(maskHeaderFor(kSensor), h);
  EXPECT_TRUE(isAcceptedMaskHeader(*decoded, kSensor));
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (uint8_t flip : {0x01, 0x80, 0xFF}) {
      auto mutated = bytes;
      mutated[i] ^= flip;
      const auto d = decodeMaskHeader(mutated);
      EXPECT_FALSE(d && isAcceptedMaskHeader(*d, kSensor)) << "byte " << i << " ^ " << int(flip);
    }
  }
}

// A bounded mutation run over the loader: files cut at random lengths, headers with random bytes
// and random fields, and full-length files with one header byte changed. Every one must be
// refused without touching the references (the sanitizer builds check the memory side).
TEST(MaskFileLoaderMutation, ArbitraryFilesAreRefusedAndChangeNothing) {
  DefectMask mask;
  ASSERT_EQ(mask.Create(kSensor), 1);
  const std::string path = uniqueTempPath("mask-mutation");
  MaskFileHeader valid{2048, 1536, {0x300000, 0x300000, 0x600000, 0x600000}};
  const auto header = encodeMaskHeader(valid);
  std::mt19937 rng(2024);
  auto refuse = [&](const std::vector<uint8_t>& bytes, const char* what, int i) {
    writeAll(path, bytes);
    ASSERT_FALSE(mask.Load(path.c_str())) << what << " " << i;
  };
  for (int i = 0; i < 400; ++i) {
    std::vector<uint8_t> bytes(header.begin(), header.end());
    const size_t length = rng() % 4096;
    bytes.resize(length);
    for (size_t k = 40; k < length; ++k) {
      bytes[k] = static_cast<uint8_t>(rng());
    }
    refuse(bytes, "cut", i);
    for (size_t k = 0; k < std::min<size_t>(length, 40); ++k) {
      if (rng() % 4 == 0) {
        bytes[k] = static_cast<uint8_t>(rng());
      }
    }
    refuse(bytes, "scrambled", i);
  }
  std::vector<uint8_t> full(maskFileBytes(valid), 0x11);
  std::copy(header.begin(), header.end(), full.begin());
  for (int i = 0; i < 6; ++i) {
    auto bytes = full;
    bytes[16 + rng() % 24] ^= static_cast<uint8_t>(1u << (rng() % 8));
    refuse(bytes, "field", i);
  }
  EXPECT_EQ(sampleAt(mask.dark8(), 5, 5), 0);
  EXPECT_EQ(sampleAt(mask.white16(), 5, 5), 4095);
  // The unmutated full-length file is accepted and replaces the references.
  writeAll(path, full);
  EXPECT_TRUE(mask.Load(path.c_str()));
  EXPECT_EQ(sampleAt(mask.dark8(), 5, 5), 0x11);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace nivexa::imaging::mask

// The defect report and the uniformity measure of the calibration library, on images made to
// hold what a camera seldom shows at once: clusters touching only at corners, defects in the
// border the library leaves alone, and values exactly at the levels.
#include <gtest/gtest.h>

#include <vector>

#include "NivexaSdk.h"
#include "calibration/Calibration.h"

namespace {

using nivexa::calibration::findDefects;
using nivexa::calibration::measureUniformity;
using nivexa::calibration::ReferenceKind;

constexpr int32_t kWidth = 16;
constexpr int32_t kHeight = 12;

struct Image {
  std::vector<uint16_t> pixels = std::vector<uint16_t>(kWidth * kHeight, 0);
  void set(int32_t x, int32_t y, uint16_t v) { pixels[static_cast<size_t>(y) * kWidth + x] = v; }
};

TEST(CalibrationDefects, ClustersJoinAtCornersSkipTheBorderAndComeLargestFirst) {
  constexpr uint16_t kHot = NIVEXA_MASK_HOT_LEVEL_16 + 1;
  Image dark;
  // Three pixels touching only diagonally: one cluster.
  dark.set(3, 3, kHot);
  dark.set(4, 4, kHot);
  dark.set(5, 5, kHot);
  // A single one, apart from it.
  dark.set(10, 3, kHot);
  // Exactly at the level: not hot. In the border: never marked.
  dark.set(12, 8, NIVEXA_MASK_HOT_LEVEL_16);
  dark.set(1, 6, kHot);
  dark.set(kWidth - 1, kHeight - 1, kHot);
  const auto report = findDefects(dark.pixels, kWidth, kHeight, ReferenceKind::Dark);
  EXPECT_EQ(report.defectPixels, 4u);
  ASSERT_EQ(report.clusters.size(), 2u);
  EXPECT_EQ(report.clusters[0].pixels, 3u);
  EXPECT_EQ(report.clusters[0].x, 3);
  EXPECT_EQ(report.clusters[0].y, 3);
  EXPECT_EQ(report.clusters[0].width, 3);
  EXPECT_EQ(report.clusters[0].height, 3);
  EXPECT_EQ(report.clusters[1].pixels, 1u);
  EXPECT_EQ(report.clusters[1].x, 10);

  // In a flat reference the same image is all dead inside the border but for the bright pixels.
  const auto flat = findDefects(dark.pixels, kWidth, kHeight, ReferenceKind::Flat);
  const uint64_t inside = (kWidth - 2 * NIVEXA_MASK_BORDER) * (kHeight - 2 * NIVEXA_MASK_BORDER);
  EXPECT_EQ(flat.defectPixels, inside - 5);
  EXPECT_EQ(flat.clusters.size(), 1u);
}

TEST(CalibrationDefects, UniformityIsMeasuredInsideTheBorder) {
  constexpr uint16_t kLevel = 1000;
  constexpr uint16_t kOff = 1100;
  Image image;
  for (auto& v : image.pixels) {
    v = kLevel;
  }
  // A bright border changes nothing; half the inside raised by 100 gives a deviation of 50.
  for (int32_t x = 0; x < kWidth; ++x) {
    image.set(x, 0, 4095);
  }
  for (int32_t y = NIVEXA_MASK_BORDER; y < kHeight / 2; ++y) {
    for (int32_t x = NIVEXA_MASK_BORDER; x < kWidth - NIVEXA_MASK_BORDER; ++x) {
      image.set(x, y, kOff);
    }
  }
  const auto measured = measureUniformity(image.pixels, kWidth, kHeight);
  EXPECT_DOUBLE_EQ(measured.mean, 1050.0);
  EXPECT_DOUBLE_EQ(measured.deviation, 50.0);
  EXPECT_DOUBLE_EQ(measured.nonUniformity(), 50.0 / 1050.0);
}

}  // namespace

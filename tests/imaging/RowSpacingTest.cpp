#include "imaging/steps/RowSpacing.h"

#include <gtest/gtest.h>

namespace nivexa::imaging::steps {
namespace {

// The engine leaves rows packed at width x bytes per pixel; after re-spacing every row starts at
// its stride and holds the same bytes.
void checkRespaced(int32_t width, int32_t height, uint16_t bits) {
  DibImage raw;
  ASSERT_EQ(raw.Create(width, height, bits), 1);
  const size_t packed = static_cast<size_t>(width) * (bits / 8);
  for (size_t i = 0; i < packed * height; ++i) {
    raw.bits()[i] = static_cast<uint8_t>(i * 7 + 1);
  }
  respaceRows(raw);
  for (int32_t y = 0; y < height; ++y) {
    for (size_t x = 0; x < packed; ++x) {
      ASSERT_EQ(raw.row(y)[x], static_cast<uint8_t>((y * packed + x) * 7 + 1))
          << width << "x" << height << "@" << bits << " row " << y << " byte " << x;
    }
  }
}

TEST(RowSpacing, MovesPackedRowsToTheirStrideLastRowFirst) {
  checkRespaced(3, 5, 8);
  checkRespaced(1, 1, 8);
  checkRespaced(5, 4, 16);
  checkRespaced(2047, 3, 8);
  checkRespaced(7, 9, 16);
}

TEST(RowSpacing, AlignedRowsAreLeftAlone) {
  DibImage raw;
  ASSERT_EQ(raw.Create(8, 2, 8), 1);
  raw.bits()[8] = 42;
  respaceRows(raw);
  EXPECT_EQ(raw.bits()[8], 42);
}

}  // namespace
}  // namespace nivexa::imaging::steps

#include <gtest/gtest.h>

#include "imaging/ApplyKernel.h"
#include "imaging/ConversionKernels.h"
#include "imaging/DibImage.h"

namespace nivexa::imaging {
namespace {

void put16(DibImage& image, int32_t x, int32_t y, int sample, uint16_t value) {
  uint8_t* p = image.row(y) + x * image.bytesPerPixel() + 2 * sample;
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

// 12-bit gray reduced by its significant bits: no value wraps, everything past 4095 is white.
TEST(ConversionKernels, Gray16KeepsTwelveBitsAndClamps) {
  const uint16_t values[] = {0, 15, 16, 1023, 1024, 2047, 4080, 4095, 4096, 65535};
  const uint8_t expected[] = {0, 0, 1, 63, 64, 127, 255, 255, 255, 255};
  DibImage source;
  DibImage rows;
  ASSERT_TRUE(source.Create(10, 1, 16));
  ASSERT_TRUE(rows.Create(10, 1, 24));
  for (int32_t x = 0; x < 10; ++x) {
    put16(source, x, 0, 0, values[x]);
  }
  ASSERT_EQ(ApplyKernel(rows, bgr24FlippedKernelFor(16), source, nullptr, 0, 0, nullptr), 1);
  for (int32_t x = 0; x < 10; ++x) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(rows.row(0)[3 * x + c], expected[x]) << "value " << values[x];
    }
  }
}

// A block taken from inside the source lands turned over at the destination offset, and
// nothing around it is touched.
TEST(ConversionKernels, SubRectanglesAreTurnedOverInPlace) {
  for (const uint16_t bpp : {8, 24, 32, 48, 64}) {
    SCOPED_TRACE("depth " + std::to_string(bpp));
    DibImage source;
    DibImage rows;
    ASSERT_TRUE(source.Create(7, 5, bpp));
    ASSERT_TRUE(rows.Create(6, 6, 24));
    for (int32_t y = 0; y < 5; ++y) {
      for (int32_t x = 0; x < 7; ++x) {
        for (int32_t b = 0; b < source.bytesPerPixel(); ++b) {
          // Every channel names the pixel; 16-bit samples hold it times 16 (their 12 significant
          // bits) over low bits that are noise.
          const uint8_t name = static_cast<uint8_t>(16 * y + x + 100 * (b / (bpp < 48 ? 1 : 2)));
          const uint16_t wide = static_cast<uint16_t>(name << 4 | 0x7);
          uint8_t& at = source.row(y)[x * source.bytesPerPixel() + b];
          at = bpp < 48 ? name : static_cast<uint8_t>(b % 2 == 0 ? wide : wide >> 8);
        }
      }
    }
    std::fill(rows.pixels().begin(), rows.pixels().end(), 0xEE);
    const Rect block{2, 1, 5, 4};  // columns 2..4, rows 1..3
    ASSERT_EQ(ApplyKernel(rows, bgr24FlippedKernelFor(bpp), source, &block, 1, 2, nullptr), 1);
    for (int32_t y = 0; y < 6; ++y) {
      for (int32_t x = 0; x < 6; ++x) {
        const bool inside = x >= 1 && x < 4 && y >= 2 && y < 5;
        for (int c = 0; c < 3; ++c) {
          const int32_t sx = 2 + (x - 1);
          const int32_t sy = 3 - (y - 2);
          const uint8_t want =
              !inside ? 0xEE : static_cast<uint8_t>(16 * sy + sx + (bpp == 8 ? 0 : 100 * c));
          EXPECT_EQ(rows.row(y)[3 * x + c], want) << "at " << x << "," << y << " channel " << c;
        }
      }
    }
  }
}

}  // namespace
}  // namespace nivexa::imaging

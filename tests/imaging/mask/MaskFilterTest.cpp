#include "imaging/mask/MaskFilter.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>

#include "imaging/mask/MaskTestSupport.h"
#include "imaging/steps/Simd.h"

namespace nivexa::imaging::mask {
namespace {

using test::copyPixels;
using test::fillRandom;
using test::fillUniform;
using test::samePixels;
using test::sampleAt;
using test::setSample;

struct Refs {
  DibImage dark, white;
  Refs(int32_t w, int32_t h, uint16_t bits, int32_t d, int32_t wh) {
    dark.Create(w, h, bits);
    white.Create(w, h, bits);
    fillUniform(dark, d);
    fillUniform(white, wh);
  }
};

TEST(MaskFilter, EightBitArithmeticTruncatesTowardsZeroAndClamps) {
  Refs refs(8, 8, 8, 10, 110);
  DibImage raw;
  ASSERT_EQ(raw.Create(8, 8, 8), 1);
  setSample(raw, 3, 3, 60);   // (50 * 256) / 100 = 128
  setSample(raw, 4, 3, 5);    // negative -> 0
  setSample(raw, 5, 3, 200);  // 460 -> 255
  setSample(raw, 3, 4, 11);   // 2.56 -> 2
  // Dark above white: the division still runs, with a negative divisor.
  setSample(refs.dark, 4, 4, 100);
  setSample(refs.white, 4, 4, 40);
  setSample(raw, 4, 4, 70);  // (-30 * 256) / -60 = 128
  // Equal references leave the pixel alone.
  setSample(refs.dark, 5, 4, 77);
  setSample(refs.white, 5, 4, 77);
  setSample(raw, 5, 4, 201);
  SensorWindow small{0, 0, 8, 8};
  maskFilter(raw, refs.dark, refs.white, small);
  EXPECT_EQ(sampleAt(raw, 3, 3), 128);
  EXPECT_EQ(sampleAt(raw, 4, 3), 0);
  EXPECT_EQ(sampleAt(raw, 5, 3), 255);
  EXPECT_EQ(sampleAt(raw, 3, 4), 2);
  EXPECT_EQ(sampleAt(raw, 4, 4), 128);
  EXPECT_EQ(sampleAt(raw, 5, 4), 201);
  // No border for a window smaller than the sensor in both axes: the corner is corrected too.
  EXPECT_EQ(sampleAt(raw, 0, 0), 0);
}

TEST(MaskFilter, SixteenBitLeavesDarkAboveWhiteAloneAndKeepsTwelveBits) {
  Refs refs(8, 8, 16, 0, 4095);
  DibImage raw;
  ASSERT_EQ(raw.Create(8, 8, 16), 1);
  setSample(raw, 2, 2, 4095);
  setSample(raw, 3, 2, 1000);
  setSample(raw, 4, 2, 60000);  // far above white: limited to the 12-bit full scale
  setSample(refs.dark, 5, 2, 3000);
  setSample(refs.white, 5, 2, 2000);
  setSample(raw, 5, 2, 2500);
  setSample(refs.dark, 6, 2, 1234);
  setSample(refs.white, 6, 2, 1234);
  setSample(raw, 6, 2, 99);
  maskFilter(raw, refs.dark, refs.white, SensorWindow{0, 0, 8, 8});
  EXPECT_EQ(sampleAt(raw, 2, 2), 4095);
  EXPECT_EQ(sampleAt(raw, 3, 2), 1000 * 4096 / 4095);
  EXPECT_EQ(sampleAt(raw, 4, 2), 4095);
  EXPECT_EQ(sampleAt(raw, 5, 2), 2500);
  EXPECT_EQ(sampleAt(raw, 6, 2), 99);
}

TEST(MaskFilter, InitialSixteenBitReferencesRescaleEverySample) {
  Refs refs(64, 16, 16, 0, 4095);
  DibImage raw;
  ASSERT_EQ(raw.Create(64, 16, 16), 1);
  for (int32_t v = 0; v < 64 * 16; ++v) {
    setSample(raw, v % 64, v / 64, v * 4);  // 0 .. 4092
  }
  maskFilter(raw, refs.dark, refs.white, SensorWindow{0, 0, 64, 16});
  for (int32_t v = 0; v < 64 * 16; ++v) {
    const int32_t expected = std::min(v * 4 * 4096 / 4095, 4095);
    ASSERT_EQ(sampleAt(raw, v % 64, v / 64), expected) << v * 4;
  }
}

TEST(MaskFilter, FullSensorWindowKeepsTwoPixelBorderAndReadsAtSensorPosition) {
  // A window spanning the sensor width keeps the border, whatever its height; the sensor is the
  // one the window names, the product's or any other.
  for (const auto& [sensorWidth, sensorHeight] : {std::pair{2048, 1536}, std::pair{640, 512}}) {
    SCOPED_TRACE(sensorWidth);
    Refs refs(12, 10, 8, 0, 128);
    setSample(refs.white, 5, 4, 64);  // sensor (5, 4) doubles its pixel
    DibImage raw;
    ASSERT_EQ(raw.Create(6, 6, 8), 1);
    fillUniform(raw, 32);
    SensorWindow window{3, 2, sensorWidth, 600, sensorWidth, sensorHeight};
    maskFilter(raw, refs.dark, refs.white, window);
    for (int32_t y = 0; y < 6; ++y) {
      for (int32_t x = 0; x < 6; ++x) {
        const bool border = x < 2 || y < 2 || x > 3 || y > 3;
        const int32_t expected = border ? 32 : (x == 2 && y == 2 ? 128 : 64);
        EXPECT_EQ(sampleAt(raw, x, y), expected) << x << "," << y;
      }
    }
  }
}

TEST(MaskFilter, PixelsBeyondTheReferencesAreLeftAlone) {
  Refs refs(8, 8, 8, 0, 128);
  DibImage raw;
  ASSERT_EQ(raw.Create(8, 8, 8), 1);
  fillUniform(raw, 32);
  maskFilter(raw, refs.dark, refs.white, SensorWindow{5, 6, 100, 100});
  EXPECT_EQ(sampleAt(raw, 2, 1), 64);  // sensor (7, 7)
  EXPECT_EQ(sampleAt(raw, 3, 1), 32);  // sensor (8, 7) does not exist
  EXPECT_EQ(sampleAt(raw, 2, 2), 32);
  // Depth mismatch: nothing happens.
  DibImage wide;
  ASSERT_EQ(wide.Create(8, 8, 16), 1);
  fillUniform(wide, 32);
  maskFilter(wide, refs.dark, refs.white, SensorWindow{0, 0, 8, 8});
  EXPECT_EQ(sampleAt(wide, 3, 3), 32);
}

TEST(MaskFilter, FastPathMatchesReferenceOnRandomFramesOfEverySize) {
  std::mt19937 rng(7);
  const int32_t sizes[][2] = {{1, 1}, {2, 2}, {3, 5}, {5, 3}, {17, 9}, {33, 31}, {2048, 1536}};
  for (uint16_t bits : {8, 16}) {
    const int32_t top = bits == 8 ? 255 : 65535;
    DibImage dark, white;
    ASSERT_EQ(dark.Create(2048, 1536, bits), 1);
    ASSERT_EQ(white.Create(2048, 1536, bits), 1);
    fillRandom(dark, rng, 0, top);
    fillRandom(white, rng, 0, top);
    for (const auto& size : sizes) {
      for (const SensorWindow& window : {SensorWindow{0, 0, size[0], size[1], 2048, 1536},
                                         SensorWindow{0, 0, 2048, size[1], 2048, 1536},
                                         SensorWindow{1, 3, size[0], 1536, 2048, 1536}}) {
        DibImage original, plain;
        ASSERT_EQ(original.Create(size[0], size[1], bits), 1);
        fillRandom(original, rng, 0, top);
        copyPixels(original, plain);
        maskFilterReference(plain, dark, white, window);
        for (bool vectors : {true, false}) {
          DibImage fast;
          copyPixels(original, fast);
          steps::setAvx2Allowed(vectors);
          maskFilter(fast, dark, white, window);
          steps::setAvx2Allowed(true);
          ASSERT_TRUE(samePixels(fast, plain))
              << size[0] << "x" << size[1] << " @" << bits << " vectors " << vectors;
        }
      }
    }
  }
}

}  // namespace
}  // namespace nivexa::imaging::mask

#include "imaging/mask/DotFilter.h"

#include <gtest/gtest.h>

#include <random>

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

struct Maps {
  DibImage hot, dead, work;
  explicit Maps(uint16_t bits, int32_t w = 64, int32_t h = 48) {
    hot.Create(w, h, bits);
    dead.Create(w, h, bits);
    work.Create(w, h, bits);
  }
};

const SensorWindow kOrigin{0, 0, 64, 48};

TEST(DotFilter, SingleHotPixelInUniformFieldTakesTheFieldValue) {
  for (uint16_t bits : {8, 16}) {
    Maps maps(bits);
    DibImage raw;
    ASSERT_EQ(raw.Create(20, 16, bits), 1);
    fillUniform(raw, 100);
    setSample(raw, 9, 7, bits == 8 ? 250 : 4000);
    DotFilter filter;
    filter.apply(raw, maps.hot, maps.dead, maps.work, kOrigin,
                 bits == 8 ? kDotThreshold8 : kDotThreshold16);
    EXPECT_EQ(sampleAt(raw, 9, 7), 100) << bits;
    EXPECT_EQ(sampleAt(maps.work, 9, 7), 1);
    // The four neighbours stand out from their means by a quarter of the defect, so they are
    // marked too, and come back as the field value from their own unmarked neighbours.
    for (int32_t y = 0; y < 16; ++y) {
      for (int32_t x = 0; x < 20; ++x) {
        if (x != 9 || y != 7) {
          ASSERT_EQ(sampleAt(raw, x, y), 100) << x << "," << y;
        }
      }
    }
  }
}

TEST(DotFilter, DefectColumnTakesMeanOfNearestGoodPixelsInFourDirections) {
  Maps maps(8);
  DibImage raw;
  ASSERT_EQ(raw.Create(24, 20, 8), 1);
  // Left of the column 40, right of it 100; the rows above and below the marked block 70.
  for (int32_t y = 0; y < 20; ++y) {
    for (int32_t x = 0; x < 24; ++x) {
      setSample(raw, x, y, x < 10 ? 40 : 100);
    }
  }
  // A 3-pixel-wide defect column (x 10..12) over rows 6..13, marked in the dead map, so that
  // marking does not depend on the values.
  for (int32_t y = 6; y <= 13; ++y) {
    for (int32_t x = 10; x <= 12; ++x) {
      setSample(maps.dead, x, y, 1);
      setSample(raw, x, y, 0);
    }
  }
  for (int32_t x = 10; x <= 12; ++x) {
    setSample(raw, x, 5, 70);
    setSample(raw, x, 14, 70);
  }
  DotFilter filter;
  // A threshold no value difference reaches: only the map marks.
  filter.apply(raw, maps.hot, maps.dead, maps.work, kOrigin, 1000);
  for (int32_t y = 6; y <= 13; ++y) {
    for (int32_t x = 10; x <= 12; ++x) {
      EXPECT_EQ(sampleAt(raw, x, y), (40 + 100 + 70 + 70) / 4) << x << "," << y;
    }
  }
}

TEST(DotFilter, OuterFourRowsAndColumnsAreNeverChanged) {
  std::mt19937 rng(3);
  Maps maps(8);
  fillUniform(maps.hot, 1);  // every position marked where marking is allowed
  DibImage raw, before;
  ASSERT_EQ(raw.Create(16, 14, 8), 1);
  fillRandom(raw, rng, 0, 255);
  copyPixels(raw, before);
  DotFilter filter;
  filter.apply(raw, maps.hot, maps.dead, maps.work, kOrigin, kDotThreshold8);
  for (int32_t y = 0; y < 14; ++y) {
    for (int32_t x = 0; x < 16; ++x) {
      if (x < 4 || y < 4 || x > 11 || y > 9) {
        ASSERT_EQ(sampleAt(raw, x, y), sampleAt(before, x, y)) << x << "," << y;
        ASSERT_EQ(sampleAt(maps.work, x, y), 0);
      }
    }
  }
}

TEST(DotFilter, ReadsDefectMapsAtTheSensorPosition) {
  Maps maps(16);
  setSample(maps.hot, 15, 12, 1);
  DibImage raw;
  ASSERT_EQ(raw.Create(12, 12, 16), 1);
  fillUniform(raw, 1000);
  setSample(raw, 5, 6, 1100);  // below the 16-bit threshold: only the map can mark it
  DotFilter filter;
  filter.apply(raw, maps.hot, maps.dead, maps.work, SensorWindow{10, 6, 500, 500}, kDotThreshold16);
  EXPECT_EQ(sampleAt(raw, 5, 6), 1000);
  EXPECT_EQ(sampleAt(maps.work, 5, 6), 1);
  EXPECT_EQ(sampleAt(maps.work, 5, 5), 0);
}

TEST(DotFilter, TinyFramesAndMismatchedDepthsAreSafe) {
  Maps maps(8);
  DotFilter filter;
  for (auto [w, h] : {std::pair{1, 1}, {2, 2}, {3, 5}, {8, 8}, {9, 9}}) {
    DibImage raw;
    ASSERT_EQ(raw.Create(w, h, 8), 1);
    fillUniform(raw, 9);
    filter.apply(raw, maps.hot, maps.dead, maps.work, kOrigin, kDotThreshold8);
    EXPECT_EQ(sampleAt(raw, 0, 0), 9);
  }
  DibImage wide;
  ASSERT_EQ(wide.Create(20, 20, 16), 1);
  setSample(wide, 10, 10, 60000);
  filter.apply(wide, maps.hot, maps.dead, maps.work, kOrigin, kDotThreshold16);
  EXPECT_EQ(sampleAt(wide, 10, 10), 60000);
}

// The bounded search must give exactly the plain outward walk, also where marks are dense.
TEST(DotFilter, MatchesTheOutwardWalkOnSparseDenseAndRowCoveringMarks) {
  std::mt19937 rng(11);
  for (uint16_t bits : {8, 16}) {
    const int32_t top = bits == 8 ? 255 : 4095;
    for (double density : {0.001, 0.1, 0.6}) {
      for (auto [w, h] : {std::pair{64, 48}, {37, 29}, {9, 11}}) {
        Maps maps(bits);
        std::bernoulli_distribution marked(density);
        for (int32_t y = 0; y < 48; ++y) {
          for (int32_t x = 0; x < 64; ++x) {
            setSample(maps.hot, x, y, marked(rng) ? 1 : 0);
          }
        }
        for (int32_t x = 0; x < 64; ++x) {
          setSample(maps.dead, x, 7, 1);  // a whole row
        }
        DibImage fast, plain;
        ASSERT_EQ(fast.Create(w, h, bits), 1);
        fillRandom(fast, rng, 0, top);
        copyPixels(fast, plain);
        DibImage plainWork;
        plainWork.CopyFormat(maps.work);
        DotFilter filter;
        filter.apply(fast, maps.hot, maps.dead, maps.work, SensorWindow{1, 2, 64, 48},
                     bits == 8 ? kDotThreshold8 : kDotThreshold16);
        dotFilterReference(plain, maps.hot, maps.dead, plainWork, SensorWindow{1, 2, 64, 48},
                           bits == 8 ? kDotThreshold8 : kDotThreshold16);
        ASSERT_TRUE(samePixels(fast, plain)) << bits << " " << density << " " << w << "x" << h;
      }
    }
  }
}

// 16-bit frames over the whole sample range, where four neighbours sum past 16 bits, with
// thresholds from "everything" to "nothing", on rows that are no multiple of the vector width.
TEST(DotFilter, FullRangeSixteenBitOutliersMatchTheOutwardWalk) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int32_t> pick(0, 3);
  std::uniform_int_distribution<int32_t> any(0, 65535);
  for (auto [w, h] : {std::pair{2048, 10}, {101, 9}, {45, 12}}) {
    for (int32_t threshold : {0, 1, 480, 40000, 65535, 70000}) {
      Maps maps(16, w, h);
      DibImage original, plain;
      ASSERT_EQ(original.Create(w, h, 16), 1);
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          const int32_t p = pick(rng);
          setSample(original, x, y, p == 0 ? 0 : p == 1 ? 65535 : any(rng));
        }
      }
      copyPixels(original, plain);
      DibImage plainWork;
      plainWork.CopyFormat(maps.work);
      const SensorWindow window{0, 0, w, h};
      dotFilterReference(plain, maps.hot, maps.dead, plainWork, window, threshold);
      for (bool vectors : {true, false}) {
        DibImage fast;
        copyPixels(original, fast);
        DotFilter filter;
        steps::setAvx2Allowed(vectors);
        filter.apply(fast, maps.hot, maps.dead, maps.work, window, threshold);
        steps::setAvx2Allowed(true);
        ASSERT_TRUE(samePixels(fast, plain))
            << w << "x" << h << " threshold " << threshold << " vectors " << vectors;
      }
    }
  }
}

}  // namespace
}  // namespace nivexa::imaging::mask

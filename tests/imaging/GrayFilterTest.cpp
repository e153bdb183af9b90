#include "imaging/steps/GrayFilter.h"
#include "imaging/steps/Simd.h"

#include <gtest/gtest.h>

#include "PipelineTestSupport.h"

namespace nivexa::imaging::steps {
namespace {

using testing::Frame;

TEST(GrayFilter, SiteClassesFollowThePattern) {
  // Pattern 0: G1 R / B G2; pattern 3: G2 B / R G1; the pattern repeats every two pixels.
  EXPECT_EQ(graySiteClass(0, 0, 0), kGrayG1);
  EXPECT_EQ(graySiteClass(0, 1, 0), kGrayR);
  EXPECT_EQ(graySiteClass(0, 0, 1), kGrayB);
  EXPECT_EQ(graySiteClass(0, 3, 5), kGrayG2);
  EXPECT_EQ(graySiteClass(1, 0, 0), kGrayB);
  EXPECT_EQ(graySiteClass(2, 1, 0), kGrayG1);
  EXPECT_EQ(graySiteClass(3, 0, 2), kGrayG2);
  EXPECT_EQ(graySiteClass(3, 1, 1), kGrayG1);
}

TEST(GrayFilter, HandComputedGainsAndOffsets) {
  Frame raw(2, 2, 1, 1);
  for (int32_t i = 0; i < 4; ++i) {
    raw.set(i % 2, i / 2, 0, 100);
  }
  GrayGains g;
  g.gain = {192, 128, 64, 255};  // R, G1, G2, B
  g.offset = {-10, 5, 0, 0};
  grayFilterReference(raw.view, 0, g);
  EXPECT_EQ(raw.at(0, 0), 105u);  // G1: 5 + 100
  EXPECT_EQ(raw.at(1, 0), 140u);  // R: -10 + 192 x 100 / 128
  EXPECT_EQ(raw.at(0, 1), 199u);  // B: 255 x 100 / 128 = 199.2
  EXPECT_EQ(raw.at(1, 1), 50u);   // G2
}

TEST(GrayFilter, ClampsInsteadOfWrapping) {
  EXPECT_EQ(grayValue(3, 128, -10, false), 0);
  EXPECT_EQ(grayValue(250, 128, 10, false), 255);
  EXPECT_EQ(grayValue(4000, 255, 0, true), 4095);
  EXPECT_EQ(grayValue(5, 128, -255, true), 0);
  // A gain from the one-shot measurement may exceed the setters' range without overflowing.
  EXPECT_EQ(grayValue(65535, 600000, 0, true), 4095);
}

TEST(GrayFilter, OnlyUnityGainsWithZeroOffsetsAreNeutral) {
  GrayGains g;
  EXPECT_TRUE(grayGainsAreNeutral(g));
  g.offset[kGrayB] = 1;  // the blue offset alone still changes the image
  EXPECT_FALSE(grayGainsAreNeutral(g));
  g = {};
  g.gain[kGrayG2] = 127;
  EXPECT_FALSE(grayGainsAreNeutral(g));
  // Unity gains and zero offsets reproduce every sample of both depths.
  for (int32_t sampleBytes : {1, 2}) {
    Frame raw(9, 7, 1, sampleBytes);
    testing::fillRandom(raw, sampleBytes == 2 ? 4095 : 255, 4);
    Frame before = raw;
    grayFilterReference(raw.view, 2, GrayGains{});
    EXPECT_TRUE(raw.samePixels(before));
  }
}

TEST(GrayGainOnce, HandComputedMeansSkipTheExtremes) {
  for (int32_t sampleBytes : {1, 2}) {
    const uint32_t full = sampleBytes == 2 ? 4095 : 255;
    Frame raw(4, 4, 1, sampleBytes);  // pattern 0: G1 R / B G2
    for (int32_t y = 0; y < 4; ++y) {
      for (int32_t x = 0; x < 4; ++x) {
        const int32_t c = graySiteClass(0, x, y);
        raw.set(x, y, 0, c == kGrayG1 ? 100 : c == kGrayR ? 50 : c == kGrayG2 ? 200 : 64);
      }
    }
    raw.set(1, 0, 0, full);  // an R site at full scale and a B site at 0 are not counted
    raw.set(0, 1, 0, 0);
    GrayGains g;
    ASSERT_TRUE(measureGrayGains(raw.view, 0, g));
    EXPECT_EQ(g.gain[kGrayG1], 128);
    EXPECT_EQ(g.gain[kGrayR], 256);  // 100 / 50 x 128
    EXPECT_EQ(g.gain[kGrayG2], 64);  // 100 / 200 x 128
    EXPECT_EQ(g.gain[kGrayB], 200);  // 100 / 64 x 128
  }
  // On 16-bit data the full 12-bit samples count, not their low bytes.
  Frame wide(2, 2, 1, 2);
  wide.set(0, 0, 0, 0x300);  // G1, low byte 0
  wide.set(1, 0, 0, 0x180);  // R
  wide.set(0, 1, 0, 0x300);  // B
  wide.set(1, 1, 0, 0x600);  // G2
  GrayGains g;
  ASSERT_TRUE(measureGrayGains(wide.view, 0, g));
  EXPECT_EQ(g.gain[kGrayR], 256);
  EXPECT_EQ(g.gain[kGrayB], 128);
  EXPECT_EQ(g.gain[kGrayG2], 64);
}

TEST(GrayGainOnce, AClassWithoutSamplesKeepsThePreviousGains) {
  GrayGains g;
  g.gain = {90, 128, 140, 111};
  const GrayGains before = g;
  Frame black(6, 6, 1, 1);
  EXPECT_FALSE(measureGrayGains(black.view, 1, g));
  Frame tiny(1, 1, 1, 2);
  tiny.set(0, 0, 0, 700);
  EXPECT_FALSE(measureGrayGains(tiny.view, 1, g));
  EXPECT_EQ(g, before);
}

// The per-class tables, alone and fused with the point operations, equal the reference.
TEST(GrayFilter, SiteTablesMatchTheReference) {
  GrayGains g;
  g.gain = {201, 77, 128, 3000};
  g.offset = {-40, 12, 255, -255};
  for (int32_t sampleBytes : {1, 2}) {
    const bool wide = sampleBytes == 2;
    for (const auto& size : testing::checkedSizes()) {
      for (int32_t pattern = 0; pattern < 4; ++pattern) {
        if (size.width > 100 && pattern != 1) {
          continue;
        }
        Frame ref(size.width, size.height, 1, sampleBytes);
        testing::fillRandom(ref, wide ? 65535 : 255, 9);
        Frame fast = ref;
        Frame fused = ref;
        grayFilterReference(ref.view, pattern, g);
        applySiteTables(fast.view, pattern, graySiteTables(g, wide, 100, 0, 0), 0, size.height);
        ASSERT_TRUE(fast.samePixels(ref)) << sampleBytes << " " << size.width << " " << pattern;
        applySiteTables(fused.view, pattern, graySiteTables(g, wide, 140, -30, 60), 0, size.height);
        gammaReference(ref.view, 140);
        contrastReference(ref.view, -30);
        brightnessReference(ref.view, 60);
        ASSERT_TRUE(fused.samePixels(ref)) << "fused " << sampleBytes << " " << size.width;
      }
    }
  }
}

// The gray filter alone equals the reference whether it runs in vectors (gains 0..255, offsets
// far past either clamp) or through tables (a gain beyond a lane), with and without AVX2.
TEST(GrayFilter, GrayRowsMatchTheReference) {
  GrayGains lanes;
  lanes.gain = {0, 77, 255, 129};
  lanes.offset = {700, -3, -900, 5};
  GrayGains wide = lanes;
  wide.gain[3] = 300;
  for (const GrayGains& g : {lanes, wide}) {
    for (bool vectors : {true, false}) {
      for (const auto& size : testing::checkedSizes()) {
        const int32_t pattern = size.width % 4;
        Frame ref(size.width, size.height, 1, 1);
        testing::fillRandom(ref, 255, 11);
        Frame fast = ref;
        grayFilterReference(ref.view, pattern, g);
        setAvx2Allowed(vectors);
        applyGrayRows(fast.view, pattern, g, 0, size.height);
        setAvx2Allowed(true);
        ASSERT_TRUE(fast.samePixels(ref)) << g.gain[3] << " " << vectors << " " << size.width;
      }
    }
  }
}

TEST(GrayFilter, LuminanceFromColour) {
  Frame bgr(2, 1, 3, 1);
  bgr.set(0, 0, 0, 10);  // blue
  bgr.set(0, 0, 1, 200);
  bgr.set(0, 0, 2, 50);  // red
  bgr.set(1, 0, 0, 255);
  bgr.set(1, 0, 1, 255);
  bgr.set(1, 0, 2, 255);
  Frame gray(2, 1, 1, 1);
  luminanceFromBgr(bgr.view, gray.view);
  EXPECT_EQ(gray.at(0, 0), (30u * 50 + 59 * 200 + 11 * 10) / 100);  // 134
  EXPECT_EQ(gray.at(1, 0), 255u);
}

}  // namespace
}  // namespace nivexa::imaging::steps

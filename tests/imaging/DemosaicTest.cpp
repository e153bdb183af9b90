#include "imaging/steps/Demosaic.h"
#include "imaging/steps/Simd.h"

#include <gtest/gtest.h>

#include "PipelineTestSupport.h"

namespace nivexa::imaging::steps {
namespace {

using testing::Frame;

// 6 x 6 ramp v = 10 y + x with one bump, pattern 1 (R G / G B): pixel (3, 3) is a blue site.
//   red   = 9 R(2,2) + 3 R(4,2) + 3 R(2,4) + R(4,4) = 9 22 + 3 24 + 3 42 + 200 = 596
//   blue  = 9 B(3,3) + 3 B(1,3) + 3 B(3,1) + B(1,1) = 9 33 + 3 31 + 3 13 + 11  = 440
//   green = (G(3,2) + G(2,3)) / 2 = (23 + 32) / 2 = 27
Frame rampWithBump() {
  Frame raw(6, 6, 1, 1);
  for (int32_t y = 0; y < 6; ++y) {
    for (int32_t x = 0; x < 6; ++x) {
      raw.set(x, y, 0, static_cast<uint32_t>(10 * y + x));
    }
  }
  raw.set(4, 4, 0, 200);
  return raw;
}

TEST(Demosaic, HandComputedPixelWithUnityAndOtherGains) {
  Frame raw = rampWithBump();
  Frame out(6, 6, 3, 1);
  demosaicReference(raw.view, out.view, 1, 100, 100);
  EXPECT_EQ(out.at(3, 3, 0), 440u / 16);  // blue: 27
  EXPECT_EQ(out.at(3, 3, 1), 27u);
  EXPECT_EQ(out.at(3, 3, 2), 596u / 16);  // red: 37
  // Red 200 % -> factor 256: 596 x 256 >> 11 = 74; blue 50 % -> factor 64: 440 x 64 >> 11 = 13.
  demosaicReference(raw.view, out.view, 1, 200, 50);
  EXPECT_EQ(out.at(3, 3, 0), 13u);
  EXPECT_EQ(out.at(3, 3, 1), 27u);
  EXPECT_EQ(out.at(3, 3, 2), 74u);
}

TEST(Demosaic, UnityGainsReproduceFlatFramesAndFullGainSaturates) {
  for (int32_t sampleBytes : {1, 2}) {
    const uint32_t full = sampleBytes == 2 ? 4095 : 255;  // 16-bit: the 12 significant bits
    for (uint32_t level : {0u, 1u, 100u, full - 1, full}) {
      Frame raw(7, 5, 1, sampleBytes);
      testing::fillRandom(raw, 0, 0);
      for (int32_t y = 0; y < 5; ++y) {
        for (int32_t x = 0; x < 7; ++x) {
          raw.set(x, y, 0, level);
        }
      }
      Frame out(7, 5, 4, sampleBytes);
      demosaicReference(raw.view, out.view, 2, 100, 100);
      for (int32_t c = 0; c < 3; ++c) {
        EXPECT_EQ(out.at(6, 4, c), level) << sampleBytes << " " << level;
      }
      demosaicReference(raw.view, out.view, 2, 400, 400);
      const uint32_t boosted = level * 4 > full ? full : level * 4;
      EXPECT_EQ(out.at(3, 2, 2), boosted) << "red saturates instead of wrapping";
      EXPECT_EQ(out.at(3, 2, 0), boosted);
      EXPECT_EQ(out.at(3, 2, 1), level) << "green carries no gain";
      EXPECT_EQ(out.at(3, 2, 3), 0u) << "the fourth sample is not written";
    }
  }
}

TEST(Demosaic, MirrorsTurnThePattern) {
  EXPECT_EQ(effectiveBayerPattern(0, false, false), 0);
  EXPECT_EQ(effectiveBayerPattern(0, false, true), 1);
  EXPECT_EQ(effectiveBayerPattern(0, true, false), 2);
  EXPECT_EQ(effectiveBayerPattern(0, true, true), 3);
  EXPECT_EQ(effectiveBayerPattern(3, false, true), 2);
  EXPECT_EQ(effectiveBayerPattern(1, true, false), 3);
}

TEST(WhiteBalance, HandComputedGainsAndTheLimit) {
  auto flatSites = [](uint32_t r, uint32_t g, uint32_t b) {
    Frame raw(4, 4, 1, 2);  // pattern 1: R at even/even, B at odd/odd
    for (int32_t y = 0; y < 4; ++y) {
      for (int32_t x = 0; x < 4; ++x) {
        raw.set(x, y, 0, (x & 1) == 0 && (y & 1) == 0 ? r : (x & 1) && (y & 1) ? b : g);
      }
    }
    return raw;
  };
  WhiteBalanceGains g;
  // S = 350, k = 350 / 100 / 3: red = 350 / 50 / 3 x 100 / k = 200, blue = 50.
  ASSERT_TRUE(measureWhiteBalance(flatSites(50, 100, 200).view, 1, g));
  EXPECT_EQ(g.red, 200);
  EXPECT_EQ(g.blue, 50);
  EXPECT_EQ(g.green, 100);
  // Red twenty times darker than green would need 2000 %.
  ASSERT_TRUE(measureWhiteBalance(flatSites(10, 200, 200).view, 1, g));
  EXPECT_EQ(g.red, 400);
  EXPECT_EQ(g.blue, 100);
}

TEST(WhiteBalance, NoUsableMeanKeepsThePreviousGains) {
  WhiteBalanceGains g{123, 100, 77};
  Frame black(8, 8, 1, 1);
  EXPECT_FALSE(measureWhiteBalance(black.view, 0, g));
  Frame single(1, 1, 1, 1);  // one site: no red, no blue
  single.set(0, 0, 0, 90);
  EXPECT_FALSE(measureWhiteBalance(single.view, 0, g));
  EXPECT_EQ(g.red, 123);
  EXPECT_EQ(g.blue, 77);
}

// The fast rows equal the reference for every pattern, output layout, gain and size; the
// buffers end flush with the last pixel, so the border folding is checked against overreads.
// One scratch serves every call, as a camera's does frame after frame, so a row buffer left
// by another size, depth or layout must not leak into the result.
TEST(Demosaic, FastRowsMatchTheReference) {
  struct Gains {
    int32_t red, blue;
  };
  StepScratch scratch;
  for (int32_t sampleBytes : {1, 2}) {
    for (int32_t channels : {3, 4}) {
      for (const auto& size : testing::checkedSizes()) {
        Frame raw(size.width, size.height, 1, sampleBytes);
        testing::fillRandom(raw, sampleBytes == 2 ? 65535 : 255, 11);
        for (int32_t pattern = 0; pattern < 4; ++pattern) {
          for (Gains g : {Gains{100, 100}, Gains{37, 400}, Gains{0, 251}}) {
            if (size.width > 100 && (pattern != 3 || g.red != 37)) {
              continue;
            }
            Frame ref(size.width, size.height, channels, sampleBytes);
            testing::fillRandom(ref, 200, 5);
            demosaicReference(raw.view, ref.view, pattern, g.red, g.blue);
            // Both the vector kernels (where the processor has them) and the portable rows.
            for (bool vectors : {true, false}) {
              setAvx2Allowed(vectors);
              Frame fast = ref;
              testing::fillRandom(fast, 200, 5);
              demosaicRows(raw.view, fast.view, pattern, g.red, g.blue, 0, size.height / 3,
                           &scratch);
              demosaicRows(raw.view, fast.view, pattern, g.red, g.blue, size.height / 3,
                           size.height, &scratch);
              setAvx2Allowed(true);
              ASSERT_TRUE(fast.samePixels(ref))
                  << sampleBytes << " " << channels << " " << size.width << "x" << size.height
                  << " pattern " << pattern << " gains " << g.red << "/" << g.blue << " vectors "
                  << vectors;
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace nivexa::imaging::steps

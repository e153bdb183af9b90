#include "imaging/steps/Sharpness.h"
#include "imaging/steps/Simd.h"

#include <gtest/gtest.h>

#include "PipelineTestSupport.h"
#include "imaging/steps/PointOps.h"

namespace nivexa::imaging::steps {
namespace {

using testing::Frame;

// A 5 x 5 frame has one interior pixel, (2, 2); its box is rows and columns 0..3.
Frame fiveByFive(uint32_t around, uint32_t centre, int32_t sampleBytes) {
  Frame f(5, 5, 1, sampleBytes);
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      f.set(x, y, 0, around);
    }
  }
  f.set(2, 2, 0, centre);
  return f;
}

TEST(Sharpness, HandComputedCentreBothSigns) {
  {
    // box = (15 x 10 + 90) / 16 = 15; 90 + 2 x 75 / 10 = 105
    Frame f = fiveByFive(10, 90, 1);
    Frame work(5, 5, 1, 1);
    sharpnessReference(f.view, work.view, 2);
    EXPECT_EQ(f.at(2, 2), 105u);
  }
  {
    // box = (1500 + 50) >> 4 = 96; 3 x (50 - 96) / 10 = -13.8 truncates to -13, not -14
    Frame f = fiveByFive(100, 50, 1);
    Frame work(5, 5, 1, 1);
    sharpnessReference(f.view, work.view, 3);
    EXPECT_EQ(f.at(2, 2), 37u);
  }
  {
    // 16-bit clamps at its 12-bit full scale: box = (15 x 100 + 4000) >> 4 = 343;
    // 4000 + 30 x 3657 / 10
    Frame f = fiveByFive(100, 4000, 2);
    Frame work(5, 5, 1, 2);
    sharpnessReference(f.view, work.view, 30);
    EXPECT_EQ(f.at(2, 2), 4095u);
  }
}

TEST(Sharpness, LeavesTheTwoOutermostRowsAndColumnsAndTinyFrames) {
  for (const auto& size : testing::checkedSizes()) {
    if (size.width > 100) {
      continue;
    }
    Frame original(size.width, size.height, 3, 1);
    testing::fillRandom(original, 255, 3);
    Frame f = original;
    Frame work(size.width, size.height, 3, 1);
    sharpnessReference(f.view, work.view, 30);
    for (int32_t y = 0; y < size.height; ++y) {
      for (int32_t x = 0; x < size.width; ++x) {
        const bool border = y < 2 || x < 2 || y >= size.height - 2 || x >= size.width - 2;
        for (int32_t c = 0; c < 3 && border; ++c) {
          ASSERT_EQ(f.at(x, y, c), original.at(x, y, c)) << x << "," << y;
        }
      }
    }
  }
}

// The fast path, alone and with a point table fused behind it, equals the reference on every
// layout and size; the fourth sample stays as it was.
TEST(Sharpness, FastRowsMatchTheReference) {
  struct Layout {
    int32_t channels, sampleBytes;
  };
  StepScratch scratch;
  for (Layout l :
       {Layout{1, 1}, Layout{1, 2}, Layout{3, 1}, Layout{4, 1}, Layout{3, 2}, Layout{4, 2}}) {
    const bool wide = l.sampleBytes == 2;
    // 16-bit frames both with the camera's 12 bits and with samples above them.
    for (const uint32_t max : {wide ? 65535u : 255u, wide ? 4095u : 0u}) {
      for (const auto& size : testing::checkedSizes()) {
        for (int32_t s : {1, 7, 30}) {
          if ((size.width > 100 && s != 30) || max == 0) {
            continue;
          }
          Frame original(size.width, size.height, l.channels, l.sampleBytes);
          testing::fillRandom(original, max, static_cast<uint32_t>(s));
          Frame ref = original;
          Frame work(size.width, size.height, l.channels, l.sampleBytes);
          sharpnessReference(ref.view, work.view, s);
          const int32_t brightness = s == 7 ? -130 : 77;
          Frame brightRef = ref;
          brightnessReference(brightRef.view, brightness);
          // The vector kernels where the processor has them, and the portable loops.
          for (bool vectors : {true, false}) {
            setAvx2Allowed(vectors);
            Frame fast = original;
            copyToWork(fast.view, work.view, 0, size.height);
            // A scratch kept from other sizes and layouts, as a camera keeps its own.
            sharpenRows(fast.view, work.view, s, 0, 0, size.height, &scratch);
            Frame fused = original;
            copyToWork(fused.view, work.view, 0, size.height);
            // Two halves, as two threads would run them (each with its own scratch).
            sharpenRows(fused.view, work.view, s, brightness, 0, size.height / 2);
            sharpenRows(fused.view, work.view, s, brightness, size.height / 2, size.height);
            setAvx2Allowed(true);
            ASSERT_TRUE(fast.samePixels(ref))
                << l.channels << "x" << l.sampleBytes << " " << size.width << "x" << size.height
                << " s" << s << " vectors " << vectors;
            ASSERT_TRUE(fused.samePixels(brightRef))
                << "fused " << l.channels << " " << size.width << " vectors " << vectors;
          }
          Frame fused = original;
          copyToWork(fused.view, work.view, 0, size.height);
          sharpenRows(fused.view, work.view, s, brightness, 0, size.height);
          if (l.channels == 4) {
            for (int32_t x = 0; x < size.width; ++x) {
              ASSERT_EQ(fused.at(x, size.height / 2, 3), original.at(x, size.height / 2, 3));
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace nivexa::imaging::steps

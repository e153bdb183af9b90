#include "imaging/steps/HueSaturation.h"

#include <gtest/gtest.h>

#include "PipelineTestSupport.h"

namespace nivexa::imaging::steps {
namespace {

using testing::Frame;

TEST(HueSaturation, ShiftOnTheCircleOf1530) {
  // 120 degrees: t = 21845, P = 511, r = -1, a = -1 + 510 x 1 = 509.
  EXPECT_EQ(hueShift(120), 509);
  EXPECT_EQ(hueShift(0), 0);
  EXPECT_EQ(hueShift(360), 0);
  // -1 degree: t = 65354 (wrapped), P = 1531, r = -5, a = -5 + 510 x 0 -> 1525 after wrapping.
  EXPECT_EQ(hueShift(-1), 1525);
  for (int32_t h = -360; h <= 360; ++h) {
    const int32_t a = hueShift(h);
    ASSERT_GE(a, 0) << h;
    ASSERT_LE(a, 1529) << h;
  }
}

TEST(HueSaturation, HandComputedPixels) {
  const auto unity = chromaScale(0);
  EXPECT_EQ(unity[255], 255);
  // Pure red turned by 120 degrees: s = 1, d = 0, C2 = 255, v = 254, index 2, w = 255:
  // 0xFFFF00 + 253 x -0x10000 = 0x02FF00.
  EXPECT_EQ(hueSaturationPixel(255, 0, 0, hueShift(120), unity), 0x02FF00u);
  // Gray has no chroma and stays gray whatever the shift and saturation.
  EXPECT_EQ(hueSaturationPixel(77, 77, 77, hueShift(200), chromaScale(255)), 0x4D4D4Du);
  // No shift, no saturation change: a colour comes back as it was.
  EXPECT_EQ(hueSaturationPixel(200, 100, 50, 0, unity), 0xC86432u);
  // Saturation -255 takes nearly all chroma: S[150] = (150 x 256 + 0x8000) >> 16 = 1, so
  // C2 = 1, base = W(124), w = 1: red 125, green and blue 124.
  EXPECT_EQ(hueSaturationPixel(200, 100, 50, 0, chromaScale(-255)), 0x7D7C7Cu);
}

TEST(HueSaturation, WideSamplesWorkAtEightBitsAndClearTheFourth) {
  // 16-bit samples hold 12 significant bits: they are taken divided by 16 (at most 255) and come
  // back times 16, so a wide pixel ends where the 8-bit one does.
  Frame f(1, 1, 4, 2);
  f.set(0, 0, 0, 0x00FF);  // blue: 15
  f.set(0, 0, 1, 0x0812);  // green: 129
  f.set(0, 0, 2, 0xFFFF);  // red above full scale: 255
  f.set(0, 0, 3, 0x1234);
  hueSaturation(f.view, 120, 40);
  Frame narrow(1, 1, 4, 1);
  narrow.set(0, 0, 0, 15);
  narrow.set(0, 0, 1, 129);
  narrow.set(0, 0, 2, 255);
  narrow.set(0, 0, 3, 99);
  hueSaturation(narrow.view, 120, 40);
  for (int32_t c = 0; c < 3; ++c) {
    EXPECT_EQ(f.at(0, 0, c), narrow.at(0, 0, c) * 16) << c;
  }
  EXPECT_NE(narrow.at(0, 0, 1), 129u) << "the hue turned";
  EXPECT_EQ(f.at(0, 0, 3), 0u);
  EXPECT_EQ(narrow.at(0, 0, 3), 99u) << "an 8-bit fourth byte is not written";
}

}  // namespace
}  // namespace nivexa::imaging::steps

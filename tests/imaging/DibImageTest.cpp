#include "imaging/DibImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <vector>

namespace nivexa::imaging {
namespace {

uint32_t le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

TEST(DibImage, StrideIsRowBytesRoundedUpToFour) {
  struct Case {
    int32_t width;
    uint16_t bits;
    int32_t stride;
  } cases[] = {{1, 8, 4},       {3, 8, 4},        {4, 8, 4},  {5, 8, 8},  {1, 24, 4},
               {3, 24, 12},     {5, 24, 16},      {1, 16, 4}, {3, 16, 8}, {1, 48, 8},
               {2048, 8, 2048}, {2047, 24, 6144}, {1, 64, 8}, {3, 32, 12}};
  for (const auto& c : cases) {
    DibImage image;
    ASSERT_EQ(image.Create(c.width, 2, c.bits), 1);
    EXPECT_EQ(image.stride(), c.stride) << c.width << " x " << c.bits;
    EXPECT_EQ(dibStride(c.width, c.bits), c.stride);
  }
}

TEST(DibImage, RefusesEmptyOrDepthlessBitmapsAndReleasesWhatItHeld) {
  DibImage image;
  ASSERT_EQ(image.Create(4, 4, 8), 1);
  EXPECT_EQ(image.Create(0, 4, 8), 0);
  EXPECT_FALSE(image.valid());
  EXPECT_EQ(image.Create(4, -1, 8), 0);
  EXPECT_EQ(image.Create(4, 4, 0), 0);
  EXPECT_EQ(image.header().size, 40u);
  EXPECT_EQ(image.header().width, 0);
}

// Small bitmaps and full frames are allocated differently; both start black even where the
// memory held a picture just before.
TEST(DibImage, FreshBitmapIsZeroedAndAlignedForVectorLoads) {
  for (const auto& [width, height, bits] : {std::tuple{33, 7, 24}, std::tuple{2048, 1536, 16}}) {
    SCOPED_TRACE(width);
    DibImage used;
    ASSERT_EQ(used.Create(width, height, static_cast<uint16_t>(bits)), 1);
    std::fill(used.pixels().begin(), used.pixels().end(), uint8_t{0xAB});
    used.Release();
    DibImage image;
    ASSERT_EQ(image.Create(width, height, static_cast<uint16_t>(bits)), 1);
    EXPECT_EQ(std::count(image.pixels().begin(), image.pixels().end(), 0),
              static_cast<std::ptrdiff_t>(image.pixels().size()));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image.bits()) % 64, 0u);
  }
}

TEST(DibImage, HeaderDeclaresBottomUpDibWithGrayPaletteForEightBits) {
  DibImage image;
  ASSERT_EQ(image.Create(10, 6, 8), 1);
  const auto info = image.bitmapInfoBytes();
  EXPECT_EQ(le32(&info[0]), 40u);
  EXPECT_EQ(le32(&info[4]), 10u);
  EXPECT_EQ(le32(&info[8]), 6u);  // positive height
  EXPECT_EQ(info[12] | (info[13] << 8), 1);
  EXPECT_EQ(info[14] | (info[15] << 8), 8);
  for (int i = 16; i < 40; ++i) {
    EXPECT_EQ(info[i], 0) << "header byte " << i;
  }
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(info[40 + 4 * i + 0], i);
    EXPECT_EQ(info[40 + 4 * i + 1], i);
    EXPECT_EQ(info[40 + 4 * i + 2], i);
    EXPECT_EQ(info[40 + 4 * i + 3], 0);
  }
  DibImage color;
  ASSERT_EQ(color.Create(10, 6, 24), 1);
  for (uint8_t byte : color.palette()) {
    ASSERT_EQ(byte, 0);
  }
}

TEST(DibImage, CopyFormatTakesTheFormatButNotThePixels) {
  DibImage source;
  ASSERT_EQ(source.Create(7, 3, 48), 1);
  source.bits()[0] = 0xAB;
  DibImage copy;
  ASSERT_EQ(copy.CopyFormat(source), 1);
  EXPECT_EQ(copy.width(), 7);
  EXPECT_EQ(copy.height(), 3);
  EXPECT_EQ(copy.bitsPerPixel(), 48);
  EXPECT_EQ(copy.stride(), source.stride());
  EXPECT_EQ(copy.bits()[0], 0);
  DibImage empty;
  EXPECT_EQ(copy.CopyFormat(empty), 0);
}

TEST(DibImage, CopyOutHonoursRowOrderAndRefusesShortBuffers) {
  DibImage image;
  ASSERT_EQ(image.Create(3, 3, 8), 1);  // stride 4
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      image.row(y)[x] = static_cast<uint8_t>(10 * y + x);
    }
  }
  std::vector<uint8_t> top(12, 0xEE), bottom(12, 0xEE);
  ASSERT_EQ(image.CopyOut(top, true), 1);
  ASSERT_EQ(image.CopyOut(bottom, false), 1);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(top[y * 4], 10 * y);
    EXPECT_EQ(bottom[y * 4], 10 * (2 - y));
  }
  std::vector<uint8_t> shortBuffer(11, 0xEE);
  EXPECT_EQ(image.CopyOut(shortBuffer, true), 0);
  for (uint8_t byte : shortBuffer) {
    EXPECT_EQ(byte, 0xEE);
  }
  DibImage empty;
  EXPECT_EQ(empty.CopyOut(top, true), 0);
}

}  // namespace
}  // namespace nivexa::imaging

#include "imaging/kernels/ConvertKernels.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace nivexa::imaging::kernels {
namespace {

constexpr uint8_t kSentinel = 0xA5;

uint16_t sampleAt(const DibImage& img, int32_t x, int32_t y, int32_t index) {
  const uint8_t* p = img.row(y) + x * img.bytesPerPixel() + 2 * index;
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Deterministic, covering both bytes of 16-bit samples. Their high bytes stay below 0x20, so half
// the samples lie above the 12-bit scale and half on it: with every high byte random, nearly all
// would divide down to the same 255 and a misplaced pixel would go unseen.
void fillPattern(DibImage& img, uint32_t seed) {
  constexpr uint8_t kHighByteMask = 0x1F;
  const bool samples16 = img.bitsPerPixel() % 16 == 0;
  uint32_t state = seed;
  size_t i = 0;
  for (uint8_t& b : img.pixels()) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(state >> 24);
    if (samples16 && i++ % 2 == 1) {
      b &= kHighByteMask;
    }
  }
}

using Expected = std::function<std::vector<uint8_t>(const DibImage& src, int32_t x, int32_t y)>;

// Checks every byte of the destination: the block (after clipping, turned over when flipped) holds
// the expected pixel of its source position, everything else still holds the sentinel.
void expectConversion(const Conversion& conversion, int32_t srcBits, int32_t dstBits, int32_t width,
                      int32_t height, const Expected& expected, const Rect* rect = nullptr,
                      int32_t dstX = 0, int32_t dstY = 0, int32_t dstWidth = 0,
                      int32_t dstHeight = 0) {
  DibImage src, dst;
  ASSERT_EQ(src.Create(width, height, static_cast<uint16_t>(srcBits)), 1);
  ASSERT_EQ(dst.Create(dstWidth ? dstWidth : width, dstHeight ? dstHeight : height,
                       static_cast<uint16_t>(dstBits)),
            1);
  fillPattern(src, static_cast<uint32_t>(width * 131 + height * 7 + srcBits));
  std::fill(dst.pixels().begin(), dst.pixels().end(), kSentinel);
  ASSERT_EQ(convert(dst, conversion, src, rect, dstX, dstY), 1);

  Rect r = rect ? *rect : Rect{0, 0, width, height};
  r.right = std::min(r.right, width);
  r.bottom = std::min(r.bottom, height);
  r.right = std::min(r.right, r.left + dst.width() - dstX);
  r.bottom = std::min(r.bottom, r.top + dst.height() - dstY);
  const int32_t bpp = dst.bytesPerPixel();
  for (int32_t y = 0; y < dst.height(); ++y) {
    for (int32_t byte = 0; byte < dst.stride(); ++byte) {
      const int32_t x = byte / bpp;
      const int32_t sx = r.left + (x - dstX);
      const int32_t blockRow = y - dstY;
      const int32_t sy = conversion.flipped ? r.bottom - 1 - blockRow : r.top + blockRow;
      const bool inside =
          x < dst.width() && sx >= r.left && sx < r.right && blockRow >= 0 && blockRow < r.height();
      const uint8_t got = dst.row(y)[byte];
      if (inside) {
        const auto want = expected(src, sx, sy);
        ASSERT_EQ(got, want[static_cast<size_t>(byte % bpp)])
            << "byte " << byte << " of row " << y << " from source (" << sx << "," << sy << ")";
      } else {
        ASSERT_EQ(got, kSentinel) << "byte " << byte << " of row " << y << " outside the block";
      }
    }
  }
}

std::vector<uint8_t> bytesAt(const DibImage& img, int32_t x, int32_t y) {
  const uint8_t* p = img.row(y) + x * img.bytesPerPixel();
  return {p, p + img.bytesPerPixel()};
}

uint8_t limitedDiv16(uint16_t v) {
  return static_cast<uint8_t>(v / 16 > 255 ? 255 : v / 16);
}

TEST(ConvertKernels, MonochromeRowsOddWidths) {
  for (int32_t width : {1, 3, 5, 7}) {
    SCOPED_TRACE(width);
    expectConversion(table::kCopyGray8Flipped, 8, 8, width, 4, bytesAt);
    const Expected gray = [](const DibImage& s, int x, int y) {
      const uint8_t v = s.row(y)[x];
      return std::vector<uint8_t>{v, v, v};
    };
    expectConversion(table::kGray8ToBgr24, 8, 24, width, 3, gray);
    expectConversion(table::kGray8ToBgr24Flipped, 8, 24, width, 3, gray);
    const Expected div16 = [](const DibImage& s, int x, int y) {
      return std::vector<uint8_t>{limitedDiv16(sampleAt(s, x, y, 0))};
    };
    expectConversion(table::kGray16ToGray8Div16, 16, 8, width, 3, div16);
    expectConversion(table::kGray16ToGray8Div16Flipped, 16, 8, width, 3, div16);
    expectConversion(table::kGray16ToBgr24Div16Flipped, 16, 24, width, 3,
                     [](const DibImage& s, int x, int y) {
                       const uint8_t v = limitedDiv16(sampleAt(s, x, y, 0));
                       return std::vector<uint8_t>{v, v, v};
                     });
  }
}

// 12 significant bits reduced to 8: no value wraps, everything past 4095 is white.
TEST(ConvertKernels, SixteenBitToEightByDivSixteenSaturatesInsteadOfWrapping) {
  constexpr int kCount = 10;
  const uint16_t values[kCount] = {0, 15, 16, 1023, 1024, 2047, 4080, 4095, 4096, 65535};
  const uint8_t want[kCount] = {0, 0, 1, 63, 64, 127, 255, 255, 255, 255};
  DibImage src;
  ASSERT_EQ(src.Create(kCount, 1, 16), 1);
  for (int i = 0; i < kCount; ++i) {
    src.row(0)[2 * i] = static_cast<uint8_t>(values[i]);
    src.row(0)[2 * i + 1] = static_cast<uint8_t>(values[i] >> 8);
  }
  for (const Conversion* c : {&table::kGray16ToGray8Div16, &table::kGray16ToGray8Div16Flipped,
                              &table::kGray16ToBgr24Div16Flipped}) {
    DibImage dst;
    ASSERT_EQ(dst.Create(kCount, 1, c->destinationBits), 1);
    ASSERT_EQ(convert(dst, *c, src), 1);
    const int32_t channels = dst.bytesPerPixel();
    for (int i = 0; i < kCount; ++i) {
      for (int32_t channel = 0; channel < channels; ++channel) {
        EXPECT_EQ(dst.row(0)[channels * i + channel], want[i])
            << values[i] << " to " << c->destinationBits << " bits";
      }
    }
  }
}

TEST(ConvertKernels, EightBitColourRows) {
  for (int32_t width : {1, 3, 5}) {
    SCOPED_TRACE(width);
    const Expected bgr = [](const DibImage& s, int x, int y) {
      auto p = bytesAt(s, x, y);
      return std::vector<uint8_t>{p[0], p[1], p[2]};
    };
    expectConversion(table::kBgr32ToBgr24, 32, 24, width, 3, bgr);
    expectConversion(table::kBgrToBgr24Flipped, 24, 24, width, 3, bgr);
    expectConversion(table::kBgrToBgr24Flipped, 32, 24, width, 3, bgr);
    expectConversion(table::kBgr32InvertFourth, 32, 32, width, 3,
                     [](const DibImage& s, int x, int y) {
                       auto p = bytesAt(s, x, y);
                       p[3] = static_cast<uint8_t>(255 - p[3]);
                       return p;
                     });
    expectConversion(table::kBgrToRgb8, 24, 24, width, 3, [](const DibImage& s, int x, int y) {
      auto p = bytesAt(s, x, y);
      return std::vector<uint8_t>{p[2], p[1], p[0]};
    });
    expectConversion(table::kBgrToRgb8, 32, 32, width, 3, [](const DibImage& s, int x, int y) {
      auto p = bytesAt(s, x, y);
      return std::vector<uint8_t>{p[2], p[1], p[0], p[3]};
    });
  }
}

TEST(ConvertKernels, SixteenBitColourRows) {
  for (int32_t srcBits : {48, 64}) {
    for (int32_t width : {1, 3, 5}) {
      SCOPED_TRACE(testing::Message() << srcBits << " bits, width " << width);
      const Expected div16 = [](const DibImage& s, int x, int y) {
        return std::vector<uint8_t>{limitedDiv16(sampleAt(s, x, y, 0)),
                                    limitedDiv16(sampleAt(s, x, y, 1)),
                                    limitedDiv16(sampleAt(s, x, y, 2))};
      };
      expectConversion(table::kBgr16ToBgr24Div16, srcBits, 24, width, 3, div16);
      expectConversion(table::kBgr16ToBgr24Div16Flipped, srcBits, 24, width, 3, div16);
      expectConversion(table::kBgr16ToRgb16, srcBits, srcBits, width, 3,
                       [](const DibImage& s, int x, int y) {
                         auto p = bytesAt(s, x, y);
                         std::vector<uint8_t> q(p.size(), 0xFF);
                         const int order[6] = {4, 5, 2, 3, 0, 1};
                         for (int i = 0; i < 6; ++i) {
                           q[static_cast<size_t>(i)] = p[static_cast<size_t>(order[i])];
                         }
                         return q;
                       });
    }
  }
  for (int32_t bits : {16, 48, 64}) {
    SCOPED_TRACE(bits);
    expectConversion(table::kSamples16ToBigEndian, bits, bits, 3, 2,
                     [bits](const DibImage& s, int x, int y) {
                       auto p = bytesAt(s, x, y);
                       for (size_t i = 0; i + 1 < p.size(); i += 2) {
                         std::swap(p[i], p[i + 1]);
                       }
                       if (bits == 64) {
                         p[6] = p[7] = 0xFF;
                       }
                       return p;
                     });
  }
}

TEST(ConvertKernels, ClippedBlocksLandAtTheDestinationOffsetAndTurnOverWithinTheBlock) {
  const Rect inner{1, 1, 4, 4};
  const Rect overhanging{2, 0, 9, 9};
  for (const Conversion* c : {&table::kCopyGray8Flipped, &table::kGray16ToGray8Div16}) {
    const int32_t srcBits = c->sourceBits[0];
    const Expected expected = [srcBits](const DibImage& s, int x, int y) {
      return std::vector<uint8_t>{srcBits == 8 ? s.row(y)[x] : limitedDiv16(sampleAt(s, x, y, 0))};
    };
    expectConversion(*c, srcBits, 8, 5, 5, expected, &inner, 2, 1, 7, 6);
    // The destination is smaller than the block: the kernel sees only what fits.
    expectConversion(*c, srcBits, 8, 7, 7, expected, &overhanging, 1, 2, 4, 4);
  }
  expectConversion(
      table::kBgr16ToBgr24Div16Flipped, 64, 24, 6, 5,
      [](const DibImage& s, int x, int y) {
        return std::vector<uint8_t>{limitedDiv16(sampleAt(s, x, y, 0)),
                                    limitedDiv16(sampleAt(s, x, y, 1)),
                                    limitedDiv16(sampleAt(s, x, y, 2))};
      },
      &inner, 0, 2, 5, 5);
}

// The recorder picks its kernel by the frame's depth alone: every depth a frame can have gets the
// kernel that turns a block taken from inside the source over at the destination offset, and
// leaves the rest of the destination alone.
TEST(ConvertKernels, EveryFrameDepthHasItsFlippedTwentyFourBitKernel) {
  const auto div16 = [](const DibImage& s, int x, int y) {
    return std::vector<uint8_t>{limitedDiv16(sampleAt(s, x, y, 0)),
                                limitedDiv16(sampleAt(s, x, y, 1)),
                                limitedDiv16(sampleAt(s, x, y, 2))};
  };
  const Rect block{2, 1, 5, 4};
  for (const int32_t bits : {8, 16, 24, 32, 48, 64}) {
    SCOPED_TRACE(testing::Message() << bits << " bits");
    const Kernel kernel = bgr24FlippedKernelFor(bits);
    ASSERT_NE(kernel, nullptr);
    const Conversion asRow{kernel, {static_cast<uint16_t>(bits), 0}, false, 24, true};
    const Expected expected = [bits, div16](const DibImage& s, int x, int y) {
      if (bits == 8) {
        return std::vector<uint8_t>(3, s.row(y)[x]);
      }
      if (bits == 16) {
        return std::vector<uint8_t>(3, limitedDiv16(sampleAt(s, x, y, 0)));
      }
      if (bits <= 32) {
        const auto p = bytesAt(s, x, y);
        return std::vector<uint8_t>{p[0], p[1], p[2]};
      }
      return div16(s, x, y);
    };
    expectConversion(asRow, bits, 24, 7, 5, expected, &block, 1, 2, 6, 6);
  }
  for (const int32_t bits : {0, 1, 12, 15, 40}) {
    EXPECT_EQ(bgr24FlippedKernelFor(bits), nullptr) << bits << " bits";
  }
}

TEST(ConvertKernels, DepthsARowDoesNotHandleAreRefusedAndWriteNothing) {
  DibImage src8, src16, dst8, dst24;
  ASSERT_EQ(src8.Create(4, 2, 8), 1);
  ASSERT_EQ(src16.Create(4, 2, 16), 1);
  ASSERT_EQ(dst8.Create(4, 2, 8), 1);
  ASSERT_EQ(dst24.Create(4, 2, 24), 1);
  fillPattern(src16, 3);
  std::fill(dst8.pixels().begin(), dst8.pixels().end(), kSentinel);
  // A 16-bit row on an 8-bit source would read past its rows.
  EXPECT_EQ(convert(dst8, table::kGray16ToGray8Div16, src8), 0);
  EXPECT_EQ(convert(dst24, table::kGray16ToGray8Div16, src16), 0);
  EXPECT_EQ(convert(dst8, table::kBgrToRgb8, src8), 0);
  // Run directly, the kernel itself refuses the mismatch too.
  ApplyKernel(dst8, table::kBgr16ToRgb16.kernel, src16, nullptr, 0, 0, nullptr);
  for (uint8_t b : dst8.pixels()) {
    ASSERT_EQ(b, kSentinel);
  }
}

}  // namespace
}  // namespace nivexa::imaging::kernels

// The arithmetic under the viewer's displays: values of 8- and 16-bit frames, the histogram and
// its statistics, rectangles dragged in any direction, and the mapping between the screen and
// the image at any zoom.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <numeric>
#include <vector>

#include "ImageMath.h"

namespace nivexa::viewer {
namespace {

// A 16-bit frame of 3 x 2 pixels, rows padded to 8 bytes, little-endian words.
std::vector<uint8_t> sixteenBitRows(const std::vector<std::vector<uint16_t>>& rows, int stride) {
  std::vector<uint8_t> bytes(static_cast<size_t>(stride) * rows.size(), 0xEE);
  for (size_t y = 0; y < rows.size(); ++y) {
    for (size_t x = 0; x < rows[y].size(); ++x) {
      bytes[y * stride + 2 * x] = static_cast<uint8_t>(rows[y][x] & 0xFF);
      bytes[y * stride + 2 * x + 1] = static_cast<uint8_t>(rows[y][x] >> 8);
    }
  }
  return bytes;
}

TEST(ViewerMath, SixteenBitFramesReadLittleEndianSkipPaddingAndCountTwelveBits) {
  const auto bytes = sixteenBitRows({{0, 4095, 256}, {4095, 5000, 17}}, 8);
  const FrameView frame{bytes, 3, 2, 16, 8};
  ASSERT_TRUE(frame.valid());
  EXPECT_EQ(frame.at(2, 0), 256u);
  EXPECT_EQ(frame.at(0, 1), 4095u);
  EXPECT_EQ(frame.displayAt(2, 0), 16) << "12 significant bits shown as value / 16";
  EXPECT_EQ(frame.displayAt(1, 1), 255) << "out-of-range values show as full scale";
  std::array<uint8_t, 3> greys{};
  frame.displayRow(1, greys);
  EXPECT_EQ(greys, (std::array<uint8_t, 3>{255, 255, 1})) << "a whole row as the screen shows it";

  const Histogram histogram = histogramOf(frame);
  ASSERT_EQ(histogram.counts.size(), 4096u);
  EXPECT_EQ(std::accumulate(histogram.counts.begin(), histogram.counts.end(), uint64_t{0}), 6u)
      << "the padding bytes are not pixels";
  EXPECT_EQ(histogram.counts[4095], 3u) << "5000 counts as saturated";
  EXPECT_EQ(histogram.statistics.minimum, 0u);
  EXPECT_EQ(histogram.statistics.maximum, 4095u);
  EXPECT_DOUBLE_EQ(histogram.statistics.mean, (0 + 4095 + 256 + 4095 + 4095 + 17) / 6.0);
  EXPECT_DOUBLE_EQ(histogram.statistics.saturatedShare, 0.5);

  // A frame shorter than its geometry says is refused rather than read past its end.
  const FrameView truncated{std::span(bytes).first(bytes.size() - 3), 3, 2, 16, 8};
  EXPECT_FALSE(truncated.valid());
  EXPECT_TRUE(histogramOf(truncated).counts.empty());
}

TEST(ViewerMath, RectangleStatisticsTakeAnyDragDirectionAndClipToTheImage) {
  // 8-bit 4 x 3, value = 10 * y + x, 255 in the bottom-right corner.
  std::vector<uint8_t> pixels = {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 255};
  const FrameView frame{pixels, 4, 3, 8, 4};

  // Dragged from (3, 2) up and left to (2, 1) inclusive: width and height negative.
  const Statistics dragged = statisticsOf(frame, Rect{4, 3, -2, -2});
  EXPECT_EQ(dragged.pixels, 4u);
  EXPECT_EQ(dragged.minimum, 12u);
  EXPECT_EQ(dragged.maximum, 255u);
  EXPECT_DOUBLE_EQ(dragged.mean, (12 + 13 + 22 + 255) / 4.0);
  EXPECT_DOUBLE_EQ(dragged.saturatedShare, 0.25);

  // Hanging over the top-left corner: only the pixel inside counts.
  const Statistics clipped = statisticsOf(frame, Rect{-5, -5, 6, 6});
  EXPECT_EQ(clipped.pixels, 1u);
  EXPECT_EQ(clipped.maximum, 0u);
  EXPECT_EQ(statisticsOf(frame, Rect{10, 10, 3, 3}).pixels, 0u) << "wholly outside";
}

TEST(ViewerMath, HistogramBarsKeepEveryCountAndShowSinglePixelsOnTheLogScale) {
  std::vector<uint64_t> counts(4096, 0);
  counts[0] = 1000;
  counts[4095] = 1;
  counts[2000] = 7;
  const auto grouped = groupCounts(counts, 300);
  ASSERT_EQ(grouped.size(), 300u);
  EXPECT_EQ(std::accumulate(grouped.begin(), grouped.end(), uint64_t{0}), 1008u);
  EXPECT_EQ(grouped.back(), 1u) << "the saturated value lands in the last bar";
  EXPECT_DOUBLE_EQ(barHeight(1000, 1000, true), 1.0);
  EXPECT_GT(barHeight(1, 1000, true), 0.05) << "one pixel is visible on the log scale";
  EXPECT_LT(barHeight(1, 1000, false), 0.002);
  EXPECT_EQ(barHeight(0, 1000, true), 0.0);
}

TEST(ViewerMath, ZoomMappingFitsCentredAndZoomKeepsThePointUnderThePointer) {
  // 2048 x 1536 in a wide 1000 x 500 view: height limits, centred across.
  const ZoomMapping fit = ZoomMapping::fit(2048, 1536, 1000, 500);
  EXPECT_DOUBLE_EQ(fit.scale, 500.0 / 1536);
  EXPECT_DOUBLE_EQ(fit.offsetY, 0.0);
  EXPECT_NEAR(fit.offsetX, (1000 - 2048 * fit.scale) / 2, 1e-9);
  EXPECT_FALSE(fit.toPixel(Point{fit.offsetX - 1, 10}, 2048, 1536)) << "left of the image";
  const auto corner = fit.toPixel(Point{fit.offsetX + 2048 * fit.scale - 0.01, 499.99}, 2048, 1536);
  ASSERT_TRUE(corner);
  EXPECT_EQ(corner->x, 2047);
  EXPECT_EQ(corner->y, 1535);

  // Zoomed at 1:1 and scrolled to (300, 200), the pointer at (50, 40) of the visible part is
  // on pixel (350, 240); after zooming in, the same pixel is still under the pointer.
  ZoomMapping before;
  const Point pointer{50, 40};
  const Point scroll{300, 200};
  const auto pixel = before.toPixel(Point{scroll.x + pointer.x, scroll.y + pointer.y}, 2048, 1536);
  ASSERT_TRUE(pixel);
  ZoomMapping after;
  after.scale = zoomedScale(before.scale, 3);
  EXPECT_GT(after.scale, 1.0);
  const Point newScroll = scrollKeepingPoint(pointer, scroll, before.scale, after.scale);
  const auto same =
      after.toPixel(Point{newScroll.x + pointer.x, newScroll.y + pointer.y}, 2048, 1536);
  ASSERT_TRUE(same);
  EXPECT_EQ(same->x, pixel->x);
  EXPECT_EQ(same->y, pixel->y);
  EXPECT_DOUBLE_EQ(zoomedScale(kMaximumZoom, 1), kMaximumZoom) << "zoom stops at its limits";
  EXPECT_DOUBLE_EQ(zoomedScale(kMinimumZoom, -1), kMinimumZoom);
}

}  // namespace
}  // namespace nivexa::viewer

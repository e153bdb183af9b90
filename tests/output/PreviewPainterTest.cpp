// What the preview draws, checked against a window that keeps what it was given: which path a
// frame takes, and the pixels of the scaled path as the window would show them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/ProcessFrame.h"
#include "output/PreviewPainter.h"

namespace nivexa::output {
namespace {

using imaging::ColorMode;
using imaging::DibImage;

// Keeps the last picture as a window would show it: top row first, one value per pixel
// (gray, or blue + green << 8 + red << 16).
class RecordingWindow : public platform::PreviewWindow {
 public:
  HWND handle() const override { return nullptr; }
  bool visible() override { return visible_; }
  void clientSize(int32_t& width, int32_t& height) override {
    width = width_;
    height = height_;
  }
  bool hasDeviceContext() override { return true; }
  void copyRowsTurnedOver(const platform::DibPixels& source) override {
    ++turnedOverCopies;
    keep(source, false);
  }
  void copy(const platform::DibPixels& source) override {
    ++plainCopies;
    keep(source, true);
  }
  bool waitShown(int32_t) override { return true; }

  uint32_t at(int32_t x, int32_t y) const { return shown[static_cast<size_t>(y * shownWidth + x)]; }

  bool visible_ = true;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int turnedOverCopies = 0;
  int plainCopies = 0;
  int32_t shownWidth = 0;
  int32_t shownHeight = 0;
  std::vector<uint32_t> shown;

 private:
  void keep(const platform::DibPixels& source, bool bottomUp) {
    shownWidth = source.width;
    shownHeight = source.height;
    shown.assign(static_cast<size_t>(source.width * source.height), 0);
    for (int32_t y = 0; y < source.height; ++y) {
      const uint8_t* row = source.bits + (bottomUp ? source.height - 1 - y : y) * source.stride;
      for (int32_t x = 0; x < source.width; ++x) {
        shown[static_cast<size_t>(y * source.width + x)] =
            source.bitsPerPixel == 8 ? row[x]
                                     : row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
      }
    }
  }
};

// A frame whose every pixel says where it is: gray x + 16 y.
void fillGray(DibImage& image) {
  for (int32_t y = 0; y < image.height(); ++y) {
    for (int32_t x = 0; x < image.width(); ++x) {
      image.row(y)[x] = static_cast<uint8_t>(x + 16 * y);
    }
  }
}

TEST(PreviewPainterTest, ClientOfFrameSizeShowsTheFrameTopRowFirstInOneCopy) {
  imaging::FrameBitmaps bitmaps;
  ASSERT_TRUE(imaging::createFrameBitmaps(bitmaps, ColorMode::Mono8, 10, 6));
  fillGray(bitmaps.raw8);
  RecordingWindow window;
  window.width_ = 10;
  window.height_ = 6;
  DibImage display;
  PreviewPainter painter;
  painter.paint(window, ColorMode::Mono8, bitmaps, display);
  EXPECT_EQ(window.turnedOverCopies, 1);
  EXPECT_EQ(window.plainCopies, 0);
  for (int32_t y = 0; y < 6; ++y) {
    for (int32_t x = 0; x < 10; ++x) {
      ASSERT_EQ(window.at(x, y), static_cast<uint32_t>(x + 16 * y)) << x << "," << y;
    }
  }
  EXPECT_FALSE(display.valid());
}

TEST(PreviewPainterTest, TwiceTheWidthShowsEveryColumnTwiceAndKeepsRowsUpright) {
  imaging::FrameBitmaps bitmaps;
  ASSERT_TRUE(imaging::createFrameBitmaps(bitmaps, ColorMode::Mono8, 8, 4));
  fillGray(bitmaps.raw8);
  RecordingWindow window;
  window.width_ = 16;
  window.height_ = 4;
  DibImage display;
  PreviewPainter painter;
  painter.paint(window, ColorMode::Mono8, bitmaps, display);
  ASSERT_EQ(window.plainCopies, 1);
  ASSERT_EQ(window.shownWidth, 16);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 16; ++x) {
      ASSERT_EQ(window.at(x, y), static_cast<uint32_t>(x / 2 + 16 * y)) << x << "," << y;
    }
  }
  EXPECT_EQ(display.width(), 16);
  EXPECT_EQ(display.bitsPerPixel(), 8);
}

TEST(PreviewPainterTest, ShrinkingTakesTheNearestSourcePixelByTheSinglePrecisionFactors) {
  // 2048 x 1536 into 1024 x 768 takes every second column and row; 7 into 3 columns uses
  // factor 7/3: columns 0, 2, 4.
  EXPECT_EQ(scaledColumns(7, 3), (std::vector<int32_t>{0, 2, 4}));
  const auto half = scaledColumns(2048, 1024);
  for (int32_t x = 0; x < 1024; ++x) {
    ASSERT_EQ(half[static_cast<size_t>(x)], 2 * x);
  }
  // Growing never reads past the last column or row.
  EXPECT_EQ(scaledColumns(3, 7).back(), 2);
  EXPECT_EQ(scaledSourceRow(6, 3.0f / 7.0f, 3), 0);
  EXPECT_EQ(scaledSourceRow(0, 3.0f / 7.0f, 3), 2);
}

TEST(PreviewPainterTest, ColourModesAreShownAsBlueGreenRedAndSixteenBitsDividedBySixteen) {
  imaging::FrameBitmaps bitmaps;
  ASSERT_TRUE(imaging::createFrameBitmaps(bitmaps, ColorMode::Bgr48, 4, 2));
  for (int32_t y = 0; y < 2; ++y) {
    auto* row = reinterpret_cast<uint16_t*>(bitmaps.bgr48.row(y));
    for (int32_t x = 0; x < 4; ++x) {
      row[3 * x] = static_cast<uint16_t>(16 * (x + 1));       // blue
      row[3 * x + 1] = static_cast<uint16_t>(16 * (y + 10));  // green
      row[3 * x + 2] = 4095;                                  // red at full scale
    }
  }
  RecordingWindow window;
  window.width_ = 4;
  window.height_ = 2;
  DibImage display;
  PreviewPainter painter;
  painter.paint(window, ColorMode::Bgr48, bitmaps, display);
  ASSERT_EQ(window.turnedOverCopies, 1);
  EXPECT_EQ(window.at(2, 1), 3u | (11u << 8) | (255u << 16));

  imaging::FrameBitmaps mono;
  ASSERT_TRUE(imaging::createFrameBitmaps(mono, ColorMode::Mono16, 2, 2));
  for (int32_t y = 0; y < 2; ++y) {
    auto* row = reinterpret_cast<uint16_t*>(mono.raw16.row(y));
    row[0] = static_cast<uint16_t>(y == 0 ? 4095 : 160);
    row[1] = 0;
  }
  // Monochrome 16 always goes through the display bitmap, even at the frame's size.
  window.width_ = 2;
  window.height_ = 2;
  painter.paint(window, ColorMode::Mono16, mono, display);
  EXPECT_EQ(window.plainCopies, 1);
  EXPECT_EQ(window.at(0, 0), 255u);
  EXPECT_EQ(window.at(0, 1), 10u);
}

TEST(PreviewPainterTest, HiddenOrEmptyWindowsGetNothingAndANewClientSizeANewDisplayBitmap) {
  imaging::FrameBitmaps bitmaps;
  ASSERT_TRUE(imaging::createFrameBitmaps(bitmaps, ColorMode::Bgr24, 6, 6));
  RecordingWindow window;
  DibImage display;
  PreviewPainter painter;
  window.width_ = 0;
  window.height_ = 5;
  painter.paint(window, ColorMode::Bgr24, bitmaps, display);
  window.width_ = 3;
  window.visible_ = false;
  painter.paint(window, ColorMode::Bgr24, bitmaps, display);
  EXPECT_EQ(window.plainCopies + window.turnedOverCopies, 0);

  window.visible_ = true;
  painter.paint(window, ColorMode::Bgr24, bitmaps, display);
  EXPECT_EQ(display.width(), 3);
  EXPECT_EQ(display.bitsPerPixel(), 24);
  window.width_ = 12;
  window.height_ = 2;
  painter.paint(window, ColorMode::Bgr24, bitmaps, display);
  EXPECT_EQ(display.width(), 12);
  EXPECT_EQ(display.height(), 2);
  EXPECT_EQ(window.plainCopies, 2);
  EXPECT_EQ(window.shownWidth, 12);
}

}  // namespace
}  // namespace nivexa::output

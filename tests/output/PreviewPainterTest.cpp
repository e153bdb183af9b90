// What the preview draws, checked against a window that keeps what it was given: which path a
// frame takes, and the pixels of the scaled path as the window would show them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/ProcessFrame.h"
#include "imaging/kernels/ConvertKernels.h"
#include "imaging/mask/DefectMask.h"
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

// The pipeline host of a camera whose frames come from one window of the sensor and whose mask
// holds real references.
class MaskHost : public imaging::PipelineHost {
 public:
  MaskHost(imaging::mask::DefectMask& mask, imaging::mask::SensorWindow window)
      : mask_(mask), window_(window) {}
  bool engineMirrorsHorizontally() override { return false; }
  bool engineMirrorsVertically() override { return false; }
  int32_t currentGain() override { return 0; }
  int32_t gainMinimum() override { return 0; }
  int32_t gainMaximum() override { return 0; }
  void setAutoGain(int32_t) override {}
  int32_t currentExposure() override { return 0; }
  int32_t exposureMinimum() override { return 0; }
  int32_t exposureMaximum() override { return 0; }
  void setAutoExposure(int32_t) override {}
  void applyMaskFilter(DibImage& raw) override { mask_.ApplyMaskFilter(raw, window_); }
  void applyDotFilter(DibImage& raw, int32_t threshold) override {
    mask_.ApplyDotFilter(raw, window_, threshold);
  }
  void processingValuesChanged() override {}

 private:
  imaging::mask::DefectMask& mask_;
  imaging::mask::SensorWindow window_;
};

void put16(DibImage& image, int32_t x, int32_t y, int32_t value) {
  reinterpret_cast<uint16_t*>(image.row(y))[x] = static_cast<uint16_t>(value);
}

// A 16-bit frame keeps the sensor's 12-bit scale through flat-field correction, so the dot
// filter's threshold, the gray filter's range, the preview and the recording all read it as
// 12-bit data: a mid-gray scene stays mid-gray everywhere instead of turning white.
TEST(PreviewPainterTest, SixteenBitFrameAfterTheMaskFilterIsFilteredShownAndRecordedAsTwelveBits) {
  using imaging::mask::MaskKind;
  using imaging::mask::SensorWindow;
  constexpr int32_t kWidth = 64, kHeight = 48, kHotX = 30, kHotY = 20;
  const imaging::mask::MaskSize sensor{2048, 1536};
  const SensorWindow window{100, 200, kWidth, kHeight, sensor.width, sensor.height};
  // References over the whole sensor: a dark level with fixed-pattern steps, and a white level
  // that falls off diagonally (vignetting). Their difference is a multiple of 8 (of 16 where the
  // outlier sits), so the scene's fractions of it are exact.
  auto dark = [](int32_t x, int32_t) { return 64 + x % 7; };
  auto white = [&](int32_t x, int32_t y) { return dark(x, y) + 2000 + (x + y) % 50 * 40; };
  imaging::mask::DefectMask mask;
  ASSERT_EQ(mask.Create(sensor), 1);
  DibImage reference;
  ASSERT_EQ(reference.Create(sensor.width, sensor.height, 16), 1);
  for (const MaskKind kind : {MaskKind::Dark, MaskKind::White}) {
    for (int32_t y = 0; y < reference.height(); ++y) {
      for (int32_t x = 0; x < reference.width(); ++x) {
        put16(reference, x, y, kind == MaskKind::Dark ? dark(x, y) : white(x, y));
      }
    }
    mask.Update(reference, kind);
  }
  for (const auto run : {imaging::processFrame, imaging::processFrameReference}) {
    imaging::FrameBitmaps bitmaps;
    ASSERT_TRUE(imaging::createFrameBitmaps(bitmaps, ColorMode::Mono16, kWidth, kHeight));
    // Columns alternate between 6/16 and 8/16 of the way from dark to white (1536 and 2048 once
    // corrected: a texture inside the dot filter's threshold of 480); one pixel at 9/16 (2304)
    // stands out from its neighbours' mean by 512, and they stay within the threshold of theirs.
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        const int32_t sx = window.hStart + x, sy = window.vStart + y;
        const int32_t span = white(sx, sy) - dark(sx, sy);
        const int32_t sixteenths = x == kHotX && y == kHotY ? 9 : 6 + 2 * (x % 2);
        put16(bitmaps.raw16, x, y, dark(sx, sy) + span * sixteenths / 16);
      }
    }
    imaging::ProcessingParameters params;
    params.maskFilter = 1;
    params.dotFilter = 1;
    params.grayMode = 1;
    for (auto& gain : params.grayGain) {
      gain = 64;  // half
    }
    MaskHost host(mask, window);
    run(ColorMode::Mono16, bitmaps, params, host);
    // Halved by the gray filter; the outlier takes the mean of its four neighbours (2048 left
    // and right, 1536 above and below).
    auto expected = [&](int32_t x, int32_t y) {
      return x == kHotX && y == kHotY ? 896 : (x % 2 == 0 ? 768 : 1024);
    };
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        ASSERT_EQ(reinterpret_cast<const uint16_t*>(bitmaps.raw16.row(y))[x], expected(x, y))
            << "processed sample at " << x << "," << y;
      }
    }

    RecordingWindow preview;
    preview.width_ = kWidth;
    preview.height_ = kHeight;
    DibImage display;
    PreviewPainter painter;
    painter.paint(preview, ColorMode::Mono16, bitmaps, display);
    ASSERT_EQ(preview.plainCopies, 1);
    DibImage recorded;
    ASSERT_EQ(recorded.Create(kWidth, kHeight, 24), 1);
    ASSERT_EQ(imaging::ApplyKernel(recorded, imaging::kernels::bgr24FlippedKernelFor(16),
                                   bitmaps.raw16, nullptr, 0, 0, nullptr),
              1);
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        const auto want = static_cast<uint32_t>(expected(x, y) / 16);
        ASSERT_EQ(preview.at(x, y), want) << "shown at " << x << "," << y;
        // The recording's rows are bottom-up, as AVI frames are stored.
        const uint8_t* pixel = recorded.row(kHeight - 1 - y) + 3 * x;
        ASSERT_EQ(pixel[0] | pixel[1] << 8 | pixel[2] << 16, want * 0x010101u)
            << "recorded at " << x << "," << y;
      }
    }
  }
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

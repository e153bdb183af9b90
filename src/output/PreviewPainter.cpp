#include "output/PreviewPainter.h"

#include <algorithm>
#include <cstring>

#include "imaging/kernels/ConvertKernels.h"

namespace nivexa::output {

namespace {

// The 8- or 24-bit bitmap that shows the output of `mode`, converted into when the output has
// another depth; nullptr when it cannot be had.
imaging::DibImage* displaySource(imaging::ColorMode mode, imaging::FrameBitmaps& b) {
  using imaging::ColorMode;
  namespace table = imaging::kernels::table;
  switch (mode) {
    case ColorMode::Mono8:
      return &b.raw8;
    case ColorMode::Mono16:
      return imaging::kernels::convert(b.raw8, table::kGray16ToGray8Div16, b.raw16) ? &b.raw8
                                                                                    : nullptr;
    case ColorMode::Bgr24:
      return &b.bgr24;
    case ColorMode::Bgr32:
      return imaging::kernels::convert(b.bgr24, table::kBgr32ToBgr24, b.bgr32) ? &b.bgr24 : nullptr;
    case ColorMode::Bgr48:
      return imaging::kernels::convert(b.bgr24, table::kBgr16ToBgr24Div16, b.bgr48) ? &b.bgr24
                                                                                    : nullptr;
    case ColorMode::Bgr64:
      return imaging::kernels::convert(b.bgr24, table::kBgr16ToBgr24Div16, b.bgr64) ? &b.bgr24
                                                                                    : nullptr;
  }
  return nullptr;
}

uint16_t displayDepth(imaging::ColorMode mode) {
  return mode == imaging::ColorMode::Mono8 || mode == imaging::ColorMode::Mono16 ? 8 : 24;
}

}  // namespace

std::vector<int32_t> scaledColumns(int32_t sourceWidth, int32_t clientWidth) {
  std::vector<int32_t> columns(static_cast<size_t>(std::max(clientWidth, 0)));
  const float factor = static_cast<float>(sourceWidth) / static_cast<float>(clientWidth);
  for (int32_t x = 0; x < clientWidth; ++x) {
    const auto column = static_cast<int32_t>(static_cast<float>(x) * factor);
    columns[static_cast<size_t>(x)] = std::min(column, sourceWidth - 1);
  }
  return columns;
}

int32_t scaledSourceRow(int32_t y, float factor, int32_t sourceHeight) {
  const auto row = static_cast<int32_t>(static_cast<float>(y) * factor);
  return sourceHeight - 1 - std::min(row, sourceHeight - 1);
}

void scaleNearest(const imaging::DibImage& source, imaging::DibImage& display,
                  std::span<const int32_t> columns) {
  const int32_t width = display.width();
  const float factor = static_cast<float>(source.height()) / static_cast<float>(display.height());
  for (int32_t y = 0; y < display.height(); ++y) {
    const uint8_t* src = source.row(scaledSourceRow(y, factor, source.height()));
    uint8_t* dst = display.row(y);
    if (display.bitsPerPixel() == 8) {
      for (int32_t x = 0; x < width; ++x) {
        dst[x] = src[columns[static_cast<size_t>(x)]];
      }
    } else {
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t* pixel = src + 3 * static_cast<ptrdiff_t>(columns[static_cast<size_t>(x)]);
        dst[3 * x] = pixel[0];
        dst[3 * x + 1] = pixel[1];
        dst[3 * x + 2] = pixel[2];
      }
    }
  }
}

int createDisplayBitmap(imaging::DibImage& display, imaging::ColorMode mode, int32_t width,
                        int32_t height) {
  return display.Create(width, height, displayDepth(mode));
}

platform::DibPixels dibPixelsOf(imaging::DibImage& image) {
  platform::DibPixels pixels;
  pixels.bits = image.bits();
  pixels.width = image.width();
  pixels.height = image.height();
  pixels.stride = image.stride();
  pixels.bitsPerPixel = image.bitsPerPixel();
  pixels.palette = image.palette();
  pixels.deviceContext = image.surface() != nullptr ? image.surface()->deviceContext() : nullptr;
  return pixels;
}

void PreviewPainter::paint(platform::PreviewWindow& window, imaging::ColorMode mode,
                           imaging::FrameBitmaps& bitmaps, imaging::DibImage& display) {
  imaging::DibImage* source = displaySource(mode, bitmaps);
  if (source == nullptr || !source->valid()) {
    return;
  }
  int32_t clientWidth = 0;
  int32_t clientHeight = 0;
  window.clientSize(clientWidth, clientHeight);
  if (!window.visible() || clientWidth <= 0 || clientHeight <= 0 || !window.hasDeviceContext()) {
    return;
  }
  if (clientWidth == source->width() && clientHeight == source->height() &&
      mode != imaging::ColorMode::Mono16) {
    window.copyRowsTurnedOver(dibPixelsOf(*source));
    return;
  }
  const uint16_t depth = displayDepth(mode);
  if (!display.valid() || display.width() != clientWidth || display.height() != clientHeight ||
      display.bitsPerPixel() != depth) {
    if (!display.Create(clientWidth, clientHeight, depth)) {
      return;
    }
  }
  if (columnsSource_ != source->width() || columnsClient_ != clientWidth) {
    columns_ = scaledColumns(source->width(), clientWidth);
    columnsSource_ = source->width();
    columnsClient_ = clientWidth;
  }
  scaleNearest(*source, display, columns_);
  window.copy(dibPixelsOf(display));
}

}  // namespace nivexa::output

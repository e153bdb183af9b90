#include "ImageMath.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace nivexa::viewer {

namespace {
constexpr int kBytesPerWord = 2;
constexpr int kBitsPerByte = 8;
// Factor of one wheel step: eight steps double or halve the scale.
const double kWheelFactor = std::pow(2.0, 1.0 / 8.0);
}  // namespace

bool FrameView::valid() const {
  if (width <= 0 || height <= 0 || (bitsPerPixel != kBits8 && bitsPerPixel != kBits16)) {
    return false;
  }
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel / kBits8);
  if (stride < 0 || static_cast<size_t>(stride) < rowBytes) {
    return false;
  }
  return data.size() >= static_cast<size_t>(stride) * static_cast<size_t>(height - 1) + rowBytes;
}

uint32_t FrameView::at(int x, int y) const {
  const size_t row = static_cast<size_t>(y) * static_cast<size_t>(stride);
  if (bitsPerPixel == kBits16) {
    const size_t at = row + static_cast<size_t>(x) * kBytesPerWord;
    return static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << kBitsPerByte;
  }
  return data[row + static_cast<size_t>(x)];
}

uint8_t FrameView::displayAt(int x, int y) const {
  const uint32_t value = std::min(at(x, y), fullScale());
  return static_cast<uint8_t>(bitsPerPixel == kBits16 ? value >> kDisplayShift16 : value);
}

void FrameView::displayRow(int y, std::span<uint8_t> out) const {
  const uint8_t* row = data.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
  const size_t count = std::min(out.size(), static_cast<size_t>(width));
  if (bitsPerPixel == kBits16) {
    for (size_t x = 0; x < count; ++x) {
      const uint32_t value = static_cast<uint32_t>(row[x * kBytesPerWord]) |
                             static_cast<uint32_t>(row[x * kBytesPerWord + 1]) << kBitsPerByte;
      out[x] = static_cast<uint8_t>(std::min(value, kFullScale16) >> kDisplayShift16);
    }
  } else {
    std::copy_n(row, count, out.begin());
  }
}

Rect normalised(Rect rect, int width, int height) {
  if (rect.width < 0) {
    rect.x += rect.width;
    rect.width = -rect.width;
  }
  if (rect.height < 0) {
    rect.y += rect.height;
    rect.height = -rect.height;
  }
  const int left = std::clamp(rect.x, 0, width);
  const int top = std::clamp(rect.y, 0, height);
  const int right = std::clamp(rect.x + rect.width, 0, width);
  const int bottom = std::clamp(rect.y + rect.height, 0, height);
  return Rect{left, top, right - left, bottom - top};
}

namespace {

// Counts the values of the pixels in rect into counts (fullScale + 1 entries); values above
// full scale (which the camera does not send) count as full scale. One loop per depth, without
// a call per pixel: this runs over every frame the window shows.
void countValues(const FrameView& frame, Rect rect, std::vector<uint64_t>& counts) {
  const uint32_t top = frame.fullScale();
  for (int y = rect.y; y < rect.y + rect.height; ++y) {
    const uint8_t* row =
        frame.data.data() + static_cast<size_t>(y) * static_cast<size_t>(frame.stride);
    if (frame.bitsPerPixel == kBits16) {
      for (int x = rect.x; x < rect.x + rect.width; ++x) {
        const uint8_t* word = row + static_cast<size_t>(x) * kBytesPerWord;
        const uint32_t value = static_cast<uint32_t>(word[0]) | static_cast<uint32_t>(word[1])
                                                                    << kBitsPerByte;
        ++counts[std::min(value, top)];
      }
    } else {
      for (int x = rect.x; x < rect.x + rect.width; ++x) {
        ++counts[row[x]];
      }
    }
  }
}

Statistics statisticsFromCounts(const std::vector<uint64_t>& counts) {
  Statistics result;
  bool first = true;
  double sum = 0.0;
  for (size_t value = 0; value < counts.size(); ++value) {
    if (counts[value] == 0) {
      continue;
    }
    if (first) {
      result.minimum = static_cast<uint32_t>(value);
      first = false;
    }
    result.maximum = static_cast<uint32_t>(value);
    result.pixels += counts[value];
    sum += static_cast<double>(value) * static_cast<double>(counts[value]);
  }
  if (result.pixels > 0) {
    result.mean = sum / static_cast<double>(result.pixels);
    result.saturatedShare = static_cast<double>(counts.back()) / static_cast<double>(result.pixels);
  }
  return result;
}

}  // namespace

Histogram histogramOf(const FrameView& frame) {
  Histogram result;
  if (!frame.valid()) {
    return result;
  }
  result.counts.assign(frame.fullScale() + 1, 0);
  countValues(frame, Rect{0, 0, frame.width, frame.height}, result.counts);
  result.statistics = statisticsFromCounts(result.counts);
  return result;
}

Statistics statisticsOf(const FrameView& frame, Rect rect) {
  if (!frame.valid()) {
    return {};
  }
  std::vector<uint64_t> counts(frame.fullScale() + 1, 0);
  countValues(frame, normalised(rect, frame.width, frame.height), counts);
  return statisticsFromCounts(counts);
}

std::vector<uint64_t> groupCounts(std::span<const uint64_t> counts, size_t bins) {
  std::vector<uint64_t> grouped(bins, 0);
  if (bins == 0 || counts.empty()) {
    return grouped;
  }
  for (size_t value = 0; value < counts.size(); ++value) {
    grouped[value * bins / counts.size()] += counts[value];
  }
  return grouped;
}

double barHeight(uint64_t count, uint64_t tallest, bool logarithmic) {
  if (count == 0 || tallest == 0) {
    return 0.0;
  }
  if (!logarithmic) {
    return static_cast<double>(count) / static_cast<double>(tallest);
  }
  // log(1 + n) so that a count of one is above zero and the tallest bar reaches the top.
  return std::log1p(static_cast<double>(count)) / std::log1p(static_cast<double>(tallest));
}

ZoomMapping ZoomMapping::fit(int imageWidth, int imageHeight, int viewWidth, int viewHeight) {
  ZoomMapping mapping;
  if (imageWidth <= 0 || imageHeight <= 0 || viewWidth <= 0 || viewHeight <= 0) {
    return mapping;
  }
  mapping.scale = std::min(static_cast<double>(viewWidth) / imageWidth,
                           static_cast<double>(viewHeight) / imageHeight);
  mapping.offsetX = (viewWidth - imageWidth * mapping.scale) / 2.0;
  mapping.offsetY = (viewHeight - imageHeight * mapping.scale) / 2.0;
  return mapping;
}

std::optional<Point> ZoomMapping::toPixel(Point surface, int imageWidth, int imageHeight) const {
  const double x = std::floor((surface.x - offsetX) / scale);
  const double y = std::floor((surface.y - offsetY) / scale);
  if (x < 0 || y < 0 || x >= imageWidth || y >= imageHeight) {
    return std::nullopt;
  }
  return Point{x, y};
}

Point ZoomMapping::toSurface(Point pixel) const {
  return Point{pixel.x * scale + offsetX, pixel.y * scale + offsetY};
}

double zoomedScale(double scale, int steps) {
  return std::clamp(scale * std::pow(kWheelFactor, steps), kMinimumZoom, kMaximumZoom);
}

Point scrollKeepingPoint(Point pointerInView, Point scrollBefore, double oldScale,
                         double newScale) {
  const double ratio = newScale / oldScale;
  return Point{(scrollBefore.x + pointerInView.x) * ratio - pointerInView.x,
               (scrollBefore.y + pointerInView.y) * ratio - pointerInView.y};
}

}  // namespace nivexa::viewer

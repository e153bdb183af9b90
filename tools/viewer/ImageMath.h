#pragma once

// The arithmetic behind the image, histogram and rectangle displays, free of any toolkit so that
// it can be checked on its own.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace nivexa::viewer {

inline constexpr int kBits8 = 8;
inline constexpr int kBits16 = 16;
// A 16-bit pixel holds the sensor's 12 significant bits in its low bits.
inline constexpr int kSignificantBits16 = 12;
inline constexpr uint32_t kFullScale8 = (1u << kBits8) - 1;
inline constexpr uint32_t kFullScale16 = (1u << kSignificantBits16) - 1;
// Shift that brings a 12-bit value to the 8 bits a screen shows.
inline constexpr int kDisplayShift16 = kSignificantBits16 - kBits8;

// Pixels of one frame as the library hands them back: top row first, little-endian words at
// 16 bits, rows `stride` bytes apart.
struct FrameView {
  std::span<const uint8_t> data;
  int width = 0;
  int height = 0;
  int bitsPerPixel = kBits8;
  int stride = 0;

  bool valid() const;
  uint32_t fullScale() const { return bitsPerPixel == kBits16 ? kFullScale16 : kFullScale8; }
  // The value as the camera sent it (0..255 or 0..4095); the caller keeps x, y inside.
  uint32_t at(int x, int y) const;
  // The 8-bit grey level a screen shows for the value at x, y.
  uint8_t displayAt(int x, int y) const;
  // The grey levels of row y into out (its first `width` entries at most).
  void displayRow(int y, std::span<uint8_t> out) const;
};

// A rectangle of image pixels; width and height may be negative while the user drags it.
struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};
// The rectangle with positive extent, clipped to a width x height image (empty when outside).
Rect normalised(Rect rect, int width, int height);

struct Statistics {
  uint64_t pixels = 0;
  uint32_t minimum = 0;
  uint32_t maximum = 0;
  double mean = 0.0;
  // Share (0..1) of the pixels at the full-scale value.
  double saturatedShare = 0.0;
};

// Counts of every value 0..fullScale of one frame, and the statistics they give.
struct Histogram {
  std::vector<uint64_t> counts;
  Statistics statistics;
};
Histogram histogramOf(const FrameView& frame);
// Statistics of the pixels inside `rect` (clipped to the frame).
Statistics statisticsOf(const FrameView& frame, Rect rect);

// Sums the counts into `bins` equal groups of values for drawing.
std::vector<uint64_t> groupCounts(std::span<const uint64_t> counts, size_t bins);
// Height (0..1) of a bar of `count` when the tallest bar is `tallest`, on a linear or a
// logarithmic scale (where a single pixel still shows above the base line).
double barHeight(uint64_t count, uint64_t tallest, bool logarithmic);

struct Point {
  double x = 0.0;
  double y = 0.0;
};

// Where the image is drawn on the drawing surface: surface = image x scale + offset.
struct ZoomMapping {
  double scale = 1.0;
  double offsetX = 0.0;
  double offsetY = 0.0;

  // The whole image inside a view of viewWidth x viewHeight, centred.
  static ZoomMapping fit(int imageWidth, int imageHeight, int viewWidth, int viewHeight);
  // The pixel under a surface point, or none outside the image.
  std::optional<Point> toPixel(Point surface, int imageWidth, int imageHeight) const;
  Point toSurface(Point pixel) const;
};

inline constexpr double kMinimumZoom = 1.0 / 16.0;
inline constexpr double kMaximumZoom = 32.0;
// The scale after one wheel step in (steps > 0) or out, kept between the limits.
double zoomedScale(double scale, int steps);
// The scroll position that keeps the image point under the pointer in place when the scale
// changes: pointerInView is the pointer's place in the visible part, scrollBefore the scroll
// position (top-left of the visible part on the surface) at the old scale.
Point scrollKeepingPoint(Point pointerInView, Point scrollBefore, double oldScale, double newScale);

}  // namespace nivexa::viewer

#include <algorithm>
#include <cmath>
#include <tuple>

#include "NivexaSdk.h"
#include "calibration/Calibration.h"

namespace nivexa::calibration {

DefectReport findDefects(std::span<const uint16_t> image, int32_t width, int32_t height,
                         ReferenceKind kind) {
  DefectReport report;
  const auto size = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (width <= 0 || height <= 0 || image.size() < size) {
    return report;
  }
  const bool dark = kind == ReferenceKind::Dark;
  std::vector<uint8_t> marked(size, 0);
  for (int32_t y = NIVEXA_MASK_BORDER; y < height - NIVEXA_MASK_BORDER; ++y) {
    for (int32_t x = NIVEXA_MASK_BORDER; x < width - NIVEXA_MASK_BORDER; ++x) {
      const size_t at = static_cast<size_t>(y) * static_cast<size_t>(width) + x;
      const int32_t v = image[at];
      if (dark ? v > NIVEXA_MASK_HOT_LEVEL_16 : v < NIVEXA_MASK_DEAD_LEVEL_16) {
        marked[at] = 1;
        ++report.defectPixels;
      }
    }
  }
  // Each cluster is flooded from its first pixel in reading order; a visited pixel is cleared.
  std::vector<size_t> pending;
  for (size_t seed = 0; seed < size; ++seed) {
    if (!marked[seed]) {
      continue;
    }
    marked[seed] = 0;
    pending.assign(1, seed);
    const auto seedX = static_cast<int32_t>(seed % static_cast<size_t>(width));
    const auto seedY = static_cast<int32_t>(seed / static_cast<size_t>(width));
    int32_t left = seedX, right = seedX, top = seedY, bottom = seedY;
    uint32_t pixels = 0;
    while (!pending.empty()) {
      const size_t at = pending.back();
      pending.pop_back();
      ++pixels;
      const auto x = static_cast<int32_t>(at % static_cast<size_t>(width));
      const auto y = static_cast<int32_t>(at / static_cast<size_t>(width));
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
      for (int32_t dy = -1; dy <= 1; ++dy) {
        for (int32_t dx = -1; dx <= 1; ++dx) {
          const int32_t nx = x + dx;
          const int32_t ny = y + dy;
          if (nx < 0 || ny < 0 || nx >= width || ny >= height) {
            continue;
          }
          const size_t next = static_cast<size_t>(ny) * static_cast<size_t>(width) + nx;
          if (marked[next]) {
            marked[next] = 0;
            pending.push_back(next);
          }
        }
      }
    }
    report.clusters.push_back({left, top, right - left + 1, bottom - top + 1, pixels});
  }
  std::sort(report.clusters.begin(), report.clusters.end(),
            [](const DefectCluster& a, const DefectCluster& b) {
              const auto key = [](const DefectCluster& c) {
                return std::make_tuple(c.pixels, int64_t{c.width} * c.height, -c.y, -c.x);
              };
              return key(a) > key(b);
            });
  return report;
}

Uniformity measureUniformity(std::span<const uint16_t> image, int32_t width, int32_t height) {
  Uniformity result;
  const int32_t inner = width - 2 * NIVEXA_MASK_BORDER;
  const int32_t rows = height - 2 * NIVEXA_MASK_BORDER;
  if (inner <= 0 || rows <= 0 ||
      image.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) {
    return result;
  }
  const auto interior = [&](auto&& visit) {
    for (int32_t y = NIVEXA_MASK_BORDER; y < height - NIVEXA_MASK_BORDER; ++y) {
      const auto row =
          image.subspan(static_cast<size_t>(y) * static_cast<size_t>(width) + NIVEXA_MASK_BORDER,
                        static_cast<size_t>(inner));
      for (const uint16_t v : row) {
        visit(v);
      }
    }
  };
  const double count = static_cast<double>(inner) * static_cast<double>(rows);
  double sum = 0;
  interior([&sum](uint16_t v) { sum += v; });
  result.mean = sum / count;
  double squares = 0;
  interior([&squares, mean = result.mean](uint16_t v) { squares += (v - mean) * (v - mean); });
  result.deviation = std::sqrt(squares / count);
  return result;
}

}  // namespace nivexa::calibration

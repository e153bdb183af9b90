#include "imaging/mask/DotFilter.h"

#include <cstdlib>
#include <cstring>

namespace nivexa::imaging::mask {
namespace {

// Depth-independent access to samples and flags.
struct Plane {
  uint8_t* base;
  int32_t stride;
  bool wide;
  int32_t at(int32_t x, int32_t y) const {
    const uint8_t* p = base + static_cast<ptrdiff_t>(y) * stride;
    return wide ? (p[2 * x] | p[2 * x + 1] << 8) : p[x];
  }
  void set(int32_t x, int32_t y, int32_t v) const {
    uint8_t* p = base + static_cast<ptrdiff_t>(y) * stride;
    if (wide) {
      p[2 * x] = static_cast<uint8_t>(v);
      p[2 * x + 1] = static_cast<uint8_t>(v >> 8);
    } else {
      p[x] = static_cast<uint8_t>(v);
    }
  }
};

Plane planeOf(const DibImage& image) {
  return {const_cast<uint8_t*>(image.bits()), image.stride(), image.bitsPerPixel() == 16};
}

bool usable(const DibImage& raw, const DibImage& hot, const DibImage& dead, const DibImage& work) {
  const uint16_t depth = raw.bitsPerPixel();
  return raw.valid() && hot.valid() && dead.valid() && work.valid() &&
         (depth == 8 || depth == 16) && hot.bitsPerPixel() == depth &&
         dead.bitsPerPixel() == depth && work.bitsPerPixel() == depth &&
         work.width() >= raw.width() && work.height() >= raw.height() &&
         hot.width() == dead.width() && hot.height() == dead.height();
}

// Fills the work map: marks pixels of rows and columns 4 .. size-5 that a defect map names at
// their sensor position or that stand out from the mean of their four neighbours.
void markPixels(const DibImage& raw, const DibImage& hot, const DibImage& dead, DibImage& work,
                const SensorWindow& window, int32_t threshold) {
  std::memset(work.bits(), 0, work.imageBytes());
  const Plane r = planeOf(raw), h = planeOf(hot), d = planeOf(dead), m = planeOf(work);
  for (int32_t y = 4; y <= raw.height() - 5; ++y) {
    const int32_t sy = window.vStart + y;
    const bool rowOnSensor = sy >= 0 && sy < hot.height();
    for (int32_t x = 4; x <= raw.width() - 5; ++x) {
      const int32_t sx = window.hStart + x;
      bool mark = rowOnSensor && sx >= 0 && sx < hot.width() && (h.at(sx, sy) || d.at(sx, sy));
      if (!mark) {
        const int32_t mean =
            (r.at(x - 1, y) + r.at(x + 1, y) + r.at(x, y - 1) + r.at(x, y + 1)) >> 2;
        mark = std::abs(r.at(x, y) - mean) >= threshold;
      }
      if (mark) {
        m.set(x, y, 1);
      }
    }
  }
}

}  // namespace

void dotFilterReference(DibImage& raw, const DibImage& hot, const DibImage& dead, DibImage& work,
                        const SensorWindow& window, int32_t threshold) {
  if (!usable(raw, hot, dead, work)) {
    return;
  }
  markPixels(raw, hot, dead, work, window, threshold);
  const Plane r = planeOf(raw), m = planeOf(work);
  const int32_t W = raw.width(), H = raw.height();
  // Values are written only after every search, so each search sees the original frame.
  std::vector<std::pair<size_t, int32_t>> results;
  for (int32_t y = 4; y <= H - 5; ++y) {
    for (int32_t x = 4; x <= W - 5; ++x) {
      if (!m.at(x, y)) {
        continue;
      }
      int64_t sum = 0;
      int32_t count = 0;
      const int32_t dx[] = {-1, 1, 0, 0}, dy[] = {0, 0, -1, 1};
      for (int k = 0; k < 4; ++k) {
        for (int32_t px = x + dx[k], py = y + dy[k]; px >= 0 && px < W && py >= 0 && py < H;
             px += dx[k], py += dy[k]) {
          if (!m.at(px, py)) {
            sum += r.at(px, py);
            ++count;
            break;
          }
        }
      }
      if (count > 0) {
        results.emplace_back(static_cast<size_t>(y) * W + x, static_cast<int32_t>(sum / count));
      }
    }
  }
  for (const auto& [index, value] : results) {
    r.set(static_cast<int32_t>(index % W), static_cast<int32_t>(index / W), value);
  }
}

void DotFilter::apply(DibImage& raw, const DibImage& hot, const DibImage& dead, DibImage& work,
                      const SensorWindow& window, int32_t threshold) {
  if (!usable(raw, hot, dead, work)) {
    return;
  }
  markPixels(raw, hot, dead, work, window, threshold);
  const Plane r = planeOf(raw), m = planeOf(work);
  const int32_t W = raw.width(), H = raw.height();
  marked_.clear();
  // Top-down: the nearest unmarked pixel above each column, left and right within the row.
  // Marks exist only from row and column 4 on, so every search ends inside the frame.
  nearest_.assign(static_cast<size_t>(W), -1);
  int32_t* above = nearest_.data();
  for (int32_t y = 0; y < H; ++y) {
    const size_t firstOfRow = marked_.size();
    int32_t left = -1;
    for (int32_t x = 0; x < W; ++x) {
      if (!m.at(x, y)) {
        left = x;
        continue;
      }
      Marked p{x, y, 0, 0};
      if (left >= 0) {
        p.sum += r.at(left, y);
        ++p.count;
      }
      if (above[x] >= 0) {
        p.sum += r.at(x, above[x]);
        ++p.count;
      }
      marked_.push_back(p);
    }
    int32_t right = -1;
    size_t i = marked_.size();
    for (int32_t x = W - 1; x >= 0 && i > firstOfRow; --x) {
      if (!m.at(x, y)) {
        right = x;
      } else {
        Marked& p = marked_[--i];
        if (right >= 0) {
          p.sum += r.at(right, y);
          ++p.count;
        }
      }
    }
    for (int32_t x = 0; x < W; ++x) {
      if (!m.at(x, y)) {
        above[x] = y;
      }
    }
  }
  // Bottom-up: the nearest unmarked pixel below, then the replacement values.
  int32_t* below = nearest_.data();
  std::fill(nearest_.begin(), nearest_.end(), -1);
  size_t i = marked_.size();
  for (int32_t y = H - 1; y >= 0; --y) {
    while (i > 0 && marked_[i - 1].y == y) {
      Marked& p = marked_[--i];
      if (below[p.x] >= 0) {
        p.sum += r.at(p.x, below[p.x]);
        ++p.count;
      }
    }
    for (int32_t x = 0; x < W; ++x) {
      if (!m.at(x, y)) {
        below[x] = y;
      }
    }
  }
  for (const Marked& p : marked_) {
    if (p.count > 0) {
      r.set(p.x, p.y, static_cast<int32_t>(p.sum / p.count));
    }
  }
}

}  // namespace nivexa::imaging::mask

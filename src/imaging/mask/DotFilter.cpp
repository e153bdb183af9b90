#include "imaging/mask/DotFilter.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "imaging/steps/Simd.h"
#include "platform/ByteOrder.h"

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace nivexa::imaging::mask {
namespace {

static_assert(std::endian::native == std::endian::little, "samples are read as native words");

// Depth-independent access to samples and flags.
struct Plane {
  uint8_t* base;
  int32_t stride;
  bool wide;
  int32_t at(int32_t x, int32_t y) const {
    const uint8_t* p = base + static_cast<ptrdiff_t>(y) * stride;
    return wide ? platform::loadLe16({p + 2 * x, sizeof(uint16_t)}, 0) : p[x];
  }
  void set(int32_t x, int32_t y, int32_t v) const {
    uint8_t* p = base + static_cast<ptrdiff_t>(y) * stride;
    if (wide) {
      platform::storeLe16({p + 2 * x, sizeof(uint16_t)}, 0, static_cast<uint16_t>(v));
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

namespace {

// The first index at or after x where the flag row is set, or n; skips clean stretches 32 and
// then eight bytes at a time, since marks are rare in a good sensor.
int32_t nextMarked(const uint8_t* flags, int32_t x, int32_t n) {
  while (x < n && (x & 7) != 0 && !flags[x]) {
    ++x;
  }
  while (x + 32 <= n) {
    uint64_t words[4];
    std::memcpy(words, flags + x, 32);
    if ((words[0] | words[1] | words[2] | words[3]) != 0) {
      break;
    }
    x += 32;
  }
  while (x + 8 <= n) {
    uint64_t word;
    std::memcpy(&word, flags + x, 8);
    if (word != 0) {
      break;
    }
    x += 8;
  }
  while (x < n && !flags[x]) {
    ++x;
  }
  return x;
}

template <typename Sample>
const Sample* rowOf(const DibImage& image, int32_t y) {
  return reinterpret_cast<const Sample*>(image.row(y));
}

// Outlier test of one row, columns x0..x1: the pixel against the mean of its four neighbours.
// 8-bit sums fit 16-bit lanes, which doubles what one vector instruction handles.
template <typename Sample>
[[gnu::always_inline]] inline uint8_t markOutliersBody(const Sample* __restrict up,
                                                       const Sample* __restrict mid,
                                                       const Sample* __restrict down,
                                                       uint8_t* __restrict flag, int32_t x0,
                                                       int32_t x1, int32_t threshold) {
  uint8_t any = 0;
  if constexpr (sizeof(Sample) == 1) {
    const int16_t t = static_cast<int16_t>(threshold);
    for (int32_t x = x0; x <= x1; ++x) {
      const uint16_t sum = static_cast<uint16_t>(static_cast<uint16_t>(mid[x - 1]) + mid[x + 1] +
                                                 static_cast<uint16_t>(up[x]) + down[x]);
      const int16_t diff = static_cast<int16_t>(mid[x] - static_cast<int16_t>(sum >> 2));
      const int16_t magnitude = diff < 0 ? static_cast<int16_t>(-diff) : diff;
      const uint8_t f = magnitude >= t;
      flag[x] = f;
      any |= f;
    }
  } else {
    for (int32_t x = x0; x <= x1; ++x) {
      const int32_t mean = (mid[x - 1] + mid[x + 1] + up[x] + down[x]) >> 2;
      const int32_t diff = mid[x] - mean;
      const int32_t magnitude = diff < 0 ? -diff : diff;
      const uint8_t f = magnitude >= threshold;
      flag[x] = f;
      any |= f;
    }
  }
  return any;
}

template <typename Sample>
[[gnu::always_inline]] inline uint8_t markDefectsBody(const Sample* __restrict hot,
                                                      const Sample* __restrict dead,
                                                      uint8_t* __restrict flag, int32_t x0,
                                                      int32_t x1) {
  uint8_t any = 0;
  for (int32_t x = x0; x <= x1; ++x) {
    const uint8_t defect = (hot[x] | dead[x]) != 0;
    flag[x] = static_cast<uint8_t>(flag[x] | defect);
    any |= defect;
  }
  return any;
}

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
// 16-bit outlier test sixteen pixels a lane each: the mean of four samples is the sum of their
// quarters plus the quarter of their remainders, which stays in 16 bits, and the distance is
// taken by saturating subtraction both ways. Thresholds beyond a lane go the compiler's way.
[[gnu::target("avx2")]] inline __m256i outliers16(const uint16_t* up, const uint16_t* mid,
                                                  const uint16_t* down, int32_t x, __m256i t) {
  const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid + x - 1));
  const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid + x + 1));
  const __m256i u = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(up + x));
  const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(down + x));
  const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid + x));
  const __m256i three = _mm256_set1_epi16(3);
  const __m256i quarters =
      _mm256_add_epi16(_mm256_add_epi16(_mm256_srli_epi16(l, 2), _mm256_srli_epi16(r, 2)),
                       _mm256_add_epi16(_mm256_srli_epi16(u, 2), _mm256_srli_epi16(d, 2)));
  const __m256i remainders =
      _mm256_add_epi16(_mm256_add_epi16(_mm256_and_si256(l, three), _mm256_and_si256(r, three)),
                       _mm256_add_epi16(_mm256_and_si256(u, three), _mm256_and_si256(d, three)));
  const __m256i mean = _mm256_add_epi16(quarters, _mm256_srli_epi16(remainders, 2));
  const __m256i distance = _mm256_or_si256(_mm256_subs_epu16(m, mean), _mm256_subs_epu16(mean, m));
  return _mm256_cmpeq_epi16(_mm256_max_epu16(distance, t), distance);
}

[[gnu::target("avx2")]] uint8_t markOutliers16Avx2(const uint16_t* up, const uint16_t* mid,
                                                   const uint16_t* down, uint8_t* flag, int32_t x0,
                                                   int32_t x1, int32_t threshold) {
  if (threshold < 0 || threshold > 65535) {
    return markOutliersBody(up, mid, down, flag, x0, x1, threshold);
  }
  const __m256i t = _mm256_set1_epi16(static_cast<int16_t>(threshold));
  __m256i any = _mm256_setzero_si256();
  int32_t x = x0;
  for (; x + 31 <= x1; x += 32) {
    const __m256i a = outliers16(up, mid, down, x, t);
    const __m256i b = outliers16(up, mid, down, x + 16, t);
    const __m256i bytes = _mm256_and_si256(_mm256_permute4x64_epi64(_mm256_packs_epi16(a, b), 0xD8),
                                           _mm256_set1_epi8(1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(flag + x), bytes);
    any = _mm256_or_si256(any, bytes);
  }
  uint8_t found = _mm256_testz_si256(any, any) ? 0 : 1;
  if (x <= x1) {
    found |= markOutliersBody(up, mid, down, flag, x, x1, threshold);
  }
  return found;
}

template <typename Sample>
[[gnu::target("avx2")]] uint8_t markRowAvx2(const Sample* up, const Sample* mid, const Sample* down,
                                            const Sample* hot, const Sample* dead, uint8_t* flag,
                                            int32_t x0, int32_t x1, int32_t mapX0, int32_t mapX1,
                                            int32_t threshold) {
  uint8_t any = 0;
  if constexpr (sizeof(Sample) == 2) {
    any = markOutliers16Avx2(up, mid, down, flag, x0, x1, threshold);
  } else {
    any = markOutliersBody(up, mid, down, flag, x0, x1, threshold);
  }
  if (hot != nullptr) {
    any |= markDefectsBody(hot, dead, flag, mapX0, mapX1);
  }
  return any;
}

#endif

template <typename Sample>
uint8_t markRowPlain(const Sample* up, const Sample* mid, const Sample* down, const Sample* hot,
                     const Sample* dead, uint8_t* flag, int32_t x0, int32_t x1, int32_t mapX0,
                     int32_t mapX1, int32_t threshold) {
  uint8_t any = markOutliersBody(up, mid, down, flag, x0, x1, threshold);
  if (hot != nullptr) {
    any |= markDefectsBody(hot, dead, flag, mapX0, mapX1);
  }
  return any;
}

}  // namespace

template <typename Sample>
void DotFilter::run(DibImage& raw, const DibImage& hot, const DibImage& dead, DibImage& work,
                    const SensorWindow& window, int32_t threshold) {
  const int32_t W = raw.width(), H = raw.height();
  // The flags of two rows, the one being marked and the one above it: the single pass below
  // needs no others. Columns outside 4 .. W-5 are never written, so they stay 0; the rows are
  // cleared for each frame so that row 3 (above the first marked row) reads as unmarked.
  flags_.assign(2 * static_cast<size_t>(W), 0);
  auto flagRow = [&](int32_t y) { return flags_.data() + static_cast<size_t>(y & 1) * W; };
  rowMarked_.assign(static_cast<size_t>(H), 0);
  // The work map is cleared where the last frame marked it, rather than all of it, when it is the
  // same map as last time.
  if (lastWork_ == work.bits() && lastWorkBytes_ == work.imageBytes()) {
    for (const Marked& p : marked_) {
      reinterpret_cast<Sample*>(work.row(p.y))[p.x] = 0;
    }
  } else {
    std::memset(work.bits(), 0, work.imageBytes());
    lastWork_ = work.bits();
    lastWorkBytes_ = work.imageBytes();
  }
  marked_.clear();
  if (W < 9 || H < 9) {
    return;  // no pixel lies four or more away from every edge
  }
  // Marking, rows and columns 4 .. size-5. The defect maps count only where the sensor position
  // exists.
  const int32_t mapX0 = std::max(4, -window.hStart);
  const int32_t mapX1 = std::min(W - 5, hot.width() - 1 - window.hStart);
  // 8-bit differences never reach 256, so a larger threshold marks nothing, as it should, and
  // still fits the narrow lanes.
  const int32_t limit = sizeof(Sample) == 1 ? std::min(threshold, 256) : threshold;
  auto markRow = markRowPlain<Sample>;
#if defined(NIVEXA_HAVE_AVX2_KERNELS)
  if (steps::useAvx2()) {
    markRow = markRowAvx2<Sample>;
  }
#endif
  // One pass down the frame: each row is marked, then its marked runs take their neighbours to
  // the left and right and the nearest unmarked pixel above, and the previous row's marked
  // pixels learn whether the pixel below them is unmarked, all while those rows are still in
  // the cache. The nearest unmarked pixel above is the pixel just above when it is unmarked,
  // else the one found for the marked pixel just above, so only marked pixels cost anything.
  // Marks exist only from row and column 4 on, so every search ends inside the frame.
  nearest_.resize(static_cast<size_t>(W));
  int32_t* above = nearest_.data();
  size_t previousRow = 0;  // where the previous row's marked pixels start in marked_
  for (int32_t y = 4; y <= H - 4; ++y) {
    uint8_t* flag = flagRow(y);
    const Sample* values = rowOf<Sample>(raw, y);
    if (y == H - 4) {
      std::memset(flag, 0, static_cast<size_t>(W));
    } else {
      const int32_t sy = window.vStart + y;
      const bool mapRow = sy >= 0 && sy < hot.height() && mapX0 <= mapX1;
      rowMarked_[static_cast<size_t>(y)] =
          markRow(rowOf<Sample>(raw, y - 1), values, rowOf<Sample>(raw, y + 1),
                  mapRow ? rowOf<Sample>(hot, sy) + window.hStart : nullptr,
                  mapRow ? rowOf<Sample>(dead, sy) + window.hStart : nullptr, flag, 4, W - 5, mapX0,
                  mapX1, limit);
    }
    // Row H - 4 is never marked: its pass only resolves the row above.
    const size_t thisRow = marked_.size();
    for (size_t i = previousRow; i < thisRow; ++i) {
      Marked& p = marked_[i];
      if (!flag[p.x]) {
        p.below = values[p.x];
      }
    }
    previousRow = thisRow;
    if (y > H - 5 || !rowMarked_[static_cast<size_t>(y)]) {
      continue;
    }
    const uint8_t* flagAbove = flagRow(y - 1);
    Sample* workRow = reinterpret_cast<Sample*>(work.row(y));
    for (int32_t x = nextMarked(flag, 0, W); x < W; x = nextMarked(flag, x, W)) {
      int32_t end = x;
      while (end < W && flag[end]) {
        ++end;
      }
      const int64_t sides = static_cast<int64_t>(values[x - 1]) + values[end];
      for (int32_t k = x; k < end; ++k) {
        if (!flagAbove[k]) {
          above[k] = y - 1;
        }
        Marked p{k, y, sides + rowOf<Sample>(raw, above[k])[k], 3, -1};
        workRow[k] = 1;
        marked_.push_back(p);
      }
      x = end;
    }
  }
  // Bottom-up over the marked pixels alone: one whose pixel below is marked takes the value
  // found for that pixel, which comes later in the list and so was settled first.
  int32_t* below = nearest_.data();
  for (size_t i = marked_.size(); i > 0; --i) {
    Marked& p = marked_[i - 1];
    if (p.below >= 0) {
      below[p.x] = p.below;
    }
    p.sum += below[p.x];
    ++p.count;
  }
  for (const Marked& p : marked_) {
    reinterpret_cast<Sample*>(raw.row(p.y))[p.x] = static_cast<Sample>(p.sum / p.count);
  }
}

void DotFilter::apply(DibImage& raw, const DibImage& hot, const DibImage& dead, DibImage& work,
                      const SensorWindow& window, int32_t threshold) {
  if (!usable(raw, hot, dead, work)) {
    return;
  }
  if (raw.bitsPerPixel() == 8) {
    run<uint8_t>(raw, hot, dead, work, window, threshold);
  } else {
    run<uint16_t>(raw, hot, dead, work, window, threshold);
  }
}

}  // namespace nivexa::imaging::mask

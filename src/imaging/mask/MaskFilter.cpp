#include "imaging/mask/MaskFilter.h"

#include <algorithm>
#include <bit>

#include "imaging/steps/Simd.h"
#include "platform/ByteOrder.h"

namespace nivexa::imaging::mask {
namespace {

static_assert(std::endian::native == std::endian::little, "16-bit rows are read as native words");

// A pixel at its white reference comes out at full scale (then limited to the largest value):
// 256 for 8-bit rows, 4096 for 16-bit rows, whose samples keep the 12 significant bits.
constexpr int32_t kScale8 = 256;
constexpr int32_t kMax8 = 255;
constexpr int32_t kScale16 = int32_t{kMaxSample16} + 1;
constexpr int32_t kMax16 = kMaxSample16;

struct Area {
  int32_t x0, x1, y0, y1;  // inclusive frame coordinates corrected
};

// The corrected area: a two-pixel border stays when the window spans the sensor in either axis;
// then cut to the part whose sensor position has references.
bool correctedArea(const DibImage& raw, const DibImage& ref, const SensorWindow& w, Area& a) {
  const int32_t b =
      (w.effectiveWidth == w.sensorWidth || w.effectiveHeight == w.sensorHeight) ? 2 : 0;
  a.x0 = std::max(b, -w.hStart);
  a.y0 = std::max(b, -w.vStart);
  a.x1 = std::min(raw.width() - b - 1, ref.width() - 1 - w.hStart);
  a.y1 = std::min(raw.height() - b - 1, ref.height() - 1 - w.vStart);
  return a.x0 <= a.x1 && a.y0 <= a.y1;
}

bool sameDepth(const DibImage& raw, const DibImage& dark, const DibImage& white) {
  return raw.valid() && dark.valid() && white.valid() &&
         (raw.bitsPerPixel() == 8 || raw.bitsPerPixel() == 16) &&
         dark.bitsPerPixel() == raw.bitsPerPixel() && white.bitsPerPixel() == raw.bitsPerPixel() &&
         dark.width() == white.width() && dark.height() == white.height();
}

uint16_t load16(const uint8_t* row, int32_t x) {
  return platform::loadLe16({row + 2 * x, sizeof(uint16_t)}, 0);
}

void store16(uint8_t* row, int32_t x, uint16_t v) {
  platform::storeLe16({row + 2 * x, sizeof(uint16_t)}, 0, v);
}

// Float division is exact enough here: |numerator| <= 255 * 256 and the divisor <= 255 apart
// from sign, so the correctly rounded quotient never crosses an integer the true one does not.
[[gnu::always_inline]] inline void row8Body(uint8_t* __restrict v, const uint8_t* __restrict d,
                                            const uint8_t* __restrict w, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    const int32_t value = v[i];
    const int32_t den = w[i] - d[i];
    const int32_t keep = den == 0;
    const float q = static_cast<float>((value - d[i]) * kScale8) / static_cast<float>(den + keep);
    const int32_t c = std::min(std::max(static_cast<int32_t>(q), 0), kMax8);
    v[i] = static_cast<uint8_t>(keep ? value : c);
  }
}

// Double division for 16 bits: numerators reach 2^28 and divisors 65535.
[[gnu::always_inline]] inline void row16Body(uint16_t* __restrict v, const uint16_t* __restrict d,
                                             const uint16_t* __restrict w, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    const int32_t value = v[i];
    const int32_t den = w[i] - d[i];
    const int32_t keep = den <= 0;
    const double q =
        static_cast<double>((value - d[i]) * kScale16) / static_cast<double>(keep ? 1 : den);
    const int32_t c = std::min(std::max(static_cast<int32_t>(q), 0), kMax16);
    v[i] = static_cast<uint16_t>(keep ? value : c);
  }
}

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
// The same loops compiled for AVX2 where the processor has it: eight divisions at a time
// instead of four, and double precision four at a time instead of two.
[[gnu::target("avx2")]] void row8Avx2(uint8_t* v, const uint8_t* d, const uint8_t* w, int32_t n) {
  row8Body(v, d, w, n);
}
[[gnu::target("avx2")]] void row16Avx2(uint16_t* v, const uint16_t* d, const uint16_t* w,
                                       int32_t n) {
  row16Body(v, d, w, n);
}
#endif
void row8Plain(uint8_t* v, const uint8_t* d, const uint8_t* w, int32_t n) {
  row8Body(v, d, w, n);
}
void row16Plain(uint16_t* v, const uint16_t* d, const uint16_t* w, int32_t n) {
  row16Body(v, d, w, n);
}

}  // namespace

void maskFilterReference(DibImage& raw, const DibImage& dark, const DibImage& white,
                         const SensorWindow& window) {
  Area a;
  if (!sameDepth(raw, dark, white) || !correctedArea(raw, dark, window, a)) {
    return;
  }
  const bool eight = raw.bitsPerPixel() == 8;
  for (int32_t y = a.y0; y <= a.y1; ++y) {
    uint8_t* r = raw.row(y);
    const uint8_t* dr = dark.row(window.vStart + y);
    const uint8_t* wr = white.row(window.vStart + y);
    for (int32_t x = a.x0; x <= a.x1; ++x) {
      const int32_t sx = window.hStart + x;
      if (eight) {
        const int32_t v = r[x], d = dr[sx], w = wr[sx];
        if (d != w) {
          const int32_t q = (v - d) * kScale8 / (w - d);
          r[x] = static_cast<uint8_t>(std::clamp(q, 0, kMax8));
        }
      } else {
        const int32_t v = load16(r, x), d = load16(dr, sx), w = load16(wr, sx);
        if (d < w) {
          const int32_t q = (v - d) * kScale16 / (w - d);
          store16(r, x, static_cast<uint16_t>(std::clamp(q, 0, kMax16)));
        }
      }
    }
  }
}

void maskFilter(DibImage& raw, const DibImage& dark, const DibImage& white,
                const SensorWindow& window) {
  Area a;
  if (!sameDepth(raw, dark, white) || !correctedArea(raw, dark, window, a)) {
    return;
  }
  const int32_t n = a.x1 - a.x0 + 1;
  const int32_t sx = window.hStart + a.x0;
  auto row8 = row8Plain;
  auto row16 = row16Plain;
#if defined(NIVEXA_HAVE_AVX2_KERNELS)
  if (steps::useAvx2()) {
    row8 = row8Avx2;
    row16 = row16Avx2;
  }
#endif
  for (int32_t y = a.y0; y <= a.y1; ++y) {
    const int32_t sy = window.vStart + y;
    if (raw.bitsPerPixel() == 8) {
      row8(raw.row(y) + a.x0, dark.row(sy) + sx, white.row(sy) + sx, n);
    } else {
      // Rows of 16-bit bitmaps start 4-byte aligned, so they can be read as words.
      row16(reinterpret_cast<uint16_t*>(raw.row(y)) + a.x0,
            reinterpret_cast<const uint16_t*>(dark.row(sy)) + sx,
            reinterpret_cast<const uint16_t*>(white.row(sy)) + sx, n);
    }
  }
}

}  // namespace nivexa::imaging::mask

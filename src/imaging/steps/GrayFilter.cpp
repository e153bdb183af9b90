#include "imaging/steps/GrayFilter.h"

#include <algorithm>
#include <cmath>

#include "imaging/steps/Simd.h"

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace nivexa::imaging::steps {
namespace {

// [pattern][row parity][column parity]
constexpr int32_t kSiteClasses[4][2][2] = {
    {{kGrayG1, kGrayR}, {kGrayB, kGrayG2}},
    {{kGrayB, kGrayG2}, {kGrayG1, kGrayR}},
    {{kGrayR, kGrayG1}, {kGrayG2, kGrayB}},
    {{kGrayG2, kGrayB}, {kGrayR, kGrayG1}},
};

template <class T>
void referenceT(const ImageView& raw, int32_t pattern, const GrayGains& g) {
  for (int32_t y = 0; y < raw.height; ++y) {
    T* p = raw.row<T>(y);
    for (int32_t x = 0; x < raw.width; ++x) {
      const int32_t c = graySiteClass(pattern, x, y);
      p[x] = static_cast<T>(grayValue(p[x], g.gain[static_cast<size_t>(c)],
                                      g.offset[static_cast<size_t>(c)], raw.wide()));
    }
  }
}

// Even and odd columns of a row take two different tables. Table loops stay scalar: the AVX2
// build would turn them into gathers, which are slower than plain loads on the CPUs we run on.
template <class T>
void twoTableRow(T* p, int32_t width, const uint16_t* even, const uint16_t* odd) {
  int32_t x = 0;
  for (; x + 1 < width; x += 2) {
    p[x] = static_cast<T>(even[p[x]]);
    p[x + 1] = static_cast<T>(odd[p[x + 1]]);
  }
  if (x < width) {
    p[x] = static_cast<T>(even[p[x]]);
  }
}

NIVEXA_SIMD_CLONES void twoByteTableRow(uint8_t* p, int32_t width, const uint8_t* even,
                                        const uint8_t* odd) {
  int32_t x = 0;
  for (; x + 1 < width; x += 2) {
    p[x] = even[p[x]];
    p[x + 1] = odd[p[x + 1]];
  }
  if (x < width) {
    p[x] = even[p[x]];
  }
}

template <class T>
void measureT(const ImageView& raw, int32_t pattern, uint64_t (&sum)[4], uint64_t (&count)[4]) {
  const uint32_t full = raw.wide() ? 4095 : 255;
  for (int32_t y = 0; y < raw.height; ++y) {
    const T* p = raw.row<T>(y);
    for (int32_t x = 0; x < raw.width; ++x) {
      const uint32_t v = p[x];
      if (v > 0 && v < full) {
        const auto c = static_cast<size_t>(graySiteClass(pattern, x, y));
        sum[c] += v;
        ++count[c];
      }
    }
  }
}

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
// 8-bit gray values in 16-bit lanes: a gain up to 255 keeps gain x sample inside an unsigned
// lane, and offsets beyond +-kOffsetReach decide the clamp alone, so cutting them there keeps
// every result and the sum inside a signed lane.
constexpr int16_t kLaneGainMax = 255;  // also the largest 8-bit sample
constexpr int32_t kOffsetReach = 512;
constexpr int32_t kGainShift = 7;  // the gain's unity, 128

bool fitsLanes(const GrayGains& g) {
  return std::all_of(g.gain.begin(), g.gain.end(),
                     [](int32_t gain) { return gain >= 0 && gain <= kLaneGainMax; });
}

constexpr int32_t kByteVector = 32;
constexpr int32_t kByteBits = 8;
constexpr int16_t kLowByte = 0x00FF;

[[gnu::target("avx2")]] inline __m256i grayLanes(__m256i v, __m256i gain, __m256i offset) {
  const __m256i r =
      _mm256_adds_epi16(_mm256_srli_epi16(_mm256_mullo_epi16(v, gain), kGainShift), offset);
  return _mm256_min_epi16(_mm256_max_epi16(r, _mm256_setzero_si256()),
                          _mm256_set1_epi16(kLaneGainMax));
}

// Even columns sit in the low byte of each 16-bit lane and odd ones in the high byte, so each
// half takes its own site's gain and offset without any shuffle.
[[gnu::target("avx2")]] void grayRowAvx2(uint8_t* p, int32_t width, const GrayGains& g, size_t even,
                                         size_t odd) {
  const __m256i gainEven = _mm256_set1_epi16(static_cast<int16_t>(g.gain[even]));
  const __m256i gainOdd = _mm256_set1_epi16(static_cast<int16_t>(g.gain[odd]));
  const __m256i offsetEven = _mm256_set1_epi16(
      static_cast<int16_t>(std::clamp(g.offset[even], -kOffsetReach, kOffsetReach)));
  const __m256i offsetOdd = _mm256_set1_epi16(
      static_cast<int16_t>(std::clamp(g.offset[odd], -kOffsetReach, kOffsetReach)));
  const __m256i low = _mm256_set1_epi16(kLowByte);
  int32_t x = 0;
  for (; x + kByteVector <= width; x += kByteVector) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + x));
    const __m256i e = grayLanes(_mm256_and_si256(v, low), gainEven, offsetEven);
    const __m256i o = grayLanes(_mm256_srli_epi16(v, kByteBits), gainOdd, offsetOdd);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + x),
                        _mm256_or_si256(e, _mm256_slli_epi16(o, kByteBits)));
  }
  // The vector step is even, so the tail starts on an even column.
  for (; x < width; ++x) {
    const size_t c = (x & 1) != 0 ? odd : even;
    p[x] = static_cast<uint8_t>(grayValue(p[x], g.gain[c], g.offset[c], false));
  }
}
#endif

struct SiteTableCache {
  bool built = false;
  GrayGains gains;
  int32_t gamma = 0, contrast = 0, brightness = 0;
  std::array<SampleTable, 4> tables;
};

}  // namespace

int32_t graySiteClass(int32_t pattern, int32_t x, int32_t y) {
  return kSiteClasses[pattern & 3][y & 1][x & 1];
}

bool grayGainsAreNeutral(const GrayGains& g) {
  for (size_t c = 0; c < 4; ++c) {
    if (g.gain[c] != 128 || g.offset[c] != 0) {
      return false;
    }
  }
  return true;
}

int32_t grayValue(int32_t v, int32_t gain, int32_t offset, bool wide) {
  const int64_t r = offset + static_cast<int64_t>(gain) * v / 128;
  return static_cast<int32_t>(std::clamp<int64_t>(r, 0, wide ? 4095 : 255));
}

void grayFilterReference(const ImageView& raw, int32_t pattern, const GrayGains& gains) {
  if (!raw.valid() || raw.channels != 1) {
    return;
  }
  if (raw.wide()) {
    referenceT<uint16_t>(raw, pattern, gains);
  } else {
    referenceT<uint8_t>(raw, pattern, gains);
  }
}

const std::array<SampleTable, 4>& graySiteTables(const GrayGains& gains, bool wide, int32_t gamma,
                                                 int32_t contrast, int32_t brightness) {
  thread_local SiteTableCache caches[2];
  SiteTableCache& cache = caches[wide ? 1 : 0];
  if (cache.built && cache.gains == gains && cache.gamma == gamma && cache.contrast == contrast &&
      cache.brightness == brightness) {
    return cache.tables;
  }
  const SampleTable& after = pointTable(gamma, contrast, brightness, wide);
  const int32_t entries = wide ? 65536 : 256;
  for (size_t c = 0; c < 4; ++c) {
    SampleTable& t = cache.tables[c];
    t.resize(static_cast<size_t>(entries));
    for (int32_t v = 0; v < entries; ++v) {
      const int32_t g = grayValue(v, gains.gain[c], gains.offset[c], wide);
      t[static_cast<size_t>(v)] =
          after.empty() ? static_cast<uint16_t>(g) : after[static_cast<size_t>(g)];
    }
  }
  cache.built = true;
  cache.gains = gains;
  cache.gamma = gamma;
  cache.contrast = contrast;
  cache.brightness = brightness;
  return cache.tables;
}

void applySiteTables(const ImageView& raw, int32_t pattern,
                     const std::array<SampleTable, 4>& tables, int32_t y0, int32_t y1) {
  if (!raw.valid() || raw.channels != 1) {
    return;
  }
  const size_t entries = raw.wide() ? 65536 : 256;
  for (const SampleTable& t : tables) {
    if (t.size() != entries) {
      return;
    }
  }
  if (!raw.wide()) {
    // Byte tables for 8-bit data: four of them fit in sixteen cache lines.
    uint8_t bytes[4][256];
    for (size_t c = 0; c < 4; ++c) {
      for (size_t i = 0; i < 256; ++i) {
        bytes[c][i] = static_cast<uint8_t>(tables[c][i]);
      }
    }
    for (int32_t y = std::max(y0, 0); y < std::min(y1, raw.height); ++y) {
      twoByteTableRow(raw.row<uint8_t>(y), raw.width, bytes[graySiteClass(pattern, 0, y)],
                      bytes[graySiteClass(pattern, 1, y)]);
    }
    return;
  }
  for (int32_t y = std::max(y0, 0); y < std::min(y1, raw.height); ++y) {
    const uint16_t* even = tables[static_cast<size_t>(graySiteClass(pattern, 0, y))].data();
    const uint16_t* odd = tables[static_cast<size_t>(graySiteClass(pattern, 1, y))].data();
    if (raw.wide()) {
      twoTableRow(raw.row<uint16_t>(y), raw.width, even, odd);
    } else {
      twoTableRow(raw.row<uint8_t>(y), raw.width, even, odd);
    }
  }
}

void applyGrayRows(const ImageView& raw, int32_t pattern, const GrayGains& gains, int32_t y0,
                   int32_t y1) {
  if (!raw.valid() || raw.channels != 1) {
    return;
  }
#if defined(NIVEXA_HAVE_AVX2_KERNELS)
  if (!raw.wide() && fitsLanes(gains) && useAvx2()) {
    for (int32_t y = std::max(y0, 0); y < std::min(y1, raw.height); ++y) {
      grayRowAvx2(raw.row<uint8_t>(y), raw.width, gains,
                  static_cast<size_t>(graySiteClass(pattern, 0, y)),
                  static_cast<size_t>(graySiteClass(pattern, 1, y)));
    }
    return;
  }
#endif
  applySiteTables(raw, pattern, graySiteTables(gains, raw.wide(), 100, 0, 0), y0, y1);
}

bool measureGrayGains(const ImageView& raw, int32_t pattern, GrayGains& gains) {
  if (!raw.valid() || raw.channels != 1) {
    return false;
  }
  uint64_t sum[4] = {0, 0, 0, 0};
  uint64_t count[4] = {0, 0, 0, 0};
  if (raw.wide()) {
    measureT<uint16_t>(raw, pattern, sum, count);
  } else {
    measureT<uint8_t>(raw, pattern, sum, count);
  }
  float mean[4];
  for (size_t c = 0; c < 4; ++c) {
    if (count[c] == 0) {
      return false;
    }
    mean[c] = static_cast<float>(sum[c]) / static_cast<float>(count[c]);
  }
  // Every counted sample is at least 1, so no mean is 0 here.
  auto ratio = [&](size_t c) {
    return static_cast<int32_t>(std::trunc(mean[kGrayG1] / mean[c] * 128.0f));
  };
  gains.gain[kGrayG1] = 128;
  gains.gain[kGrayR] = ratio(kGrayR);
  gains.gain[kGrayG2] = ratio(kGrayG2);
  gains.gain[kGrayB] = ratio(kGrayB);
  return true;
}

void luminanceFromBgr(const ImageView& bgr, const ImageView& gray) {
  if (!bgr.valid() || !gray.valid() || bgr.channels < 3 || bgr.wide() || gray.wide() ||
      gray.channels != 1 || bgr.width != gray.width || bgr.height != gray.height) {
    return;
  }
  for (int32_t y = 0; y < gray.height; ++y) {
    const uint8_t* s = bgr.row<uint8_t>(y);
    uint8_t* d = gray.row<uint8_t>(y);
    for (int32_t x = 0; x < gray.width; ++x, s += bgr.channels) {
      d[x] = static_cast<uint8_t>((30 * s[2] + 59 * s[1] + 11 * s[0]) / 100);
    }
  }
}

}  // namespace nivexa::imaging::steps

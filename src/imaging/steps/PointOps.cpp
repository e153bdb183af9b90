#include "imaging/steps/PointOps.h"

#include <algorithm>
#include <cmath>

#include "imaging/steps/Simd.h"

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace nivexa::imaging::steps {

namespace {

// Full scale of a sample: 16-bit samples carry the sensor's 12 significant bits.
constexpr int32_t kMax8 = 255;
constexpr int32_t fullScale(bool wide) {
  return wide ? kMaxSample16 : kMax8;
}

}  // namespace

uint16_t gammaValue(int32_t v, int32_t gamma, bool wide) {
  const int32_t m = fullScale(wide);
  if (v <= 0) {
    return 0;
  }
  if (v >= m) {
    // (M / M)^e is 1 for every exponent, gamma 0 included.
    return static_cast<uint16_t>(m);
  }
  if (gamma <= 0) {
    // The exponent 100 / 0 is infinite: every value below full scale goes to 0.
    return 0;
  }
  const double e = 100.0 / gamma;
  const double r = std::trunc(m * std::pow(static_cast<double>(v) / m, e));
  return static_cast<uint16_t>(std::min(r, static_cast<double>(m)));
}

uint16_t contrastValue(int32_t v, int32_t c, bool wide) {
  const int32_t m = fullScale(wide);
  // The contrast step is given in 8-bit units; a 16-bit sample is 16 of them.
  const int32_t t = wide ? c << kSample16To8Shift : c;
  const double full = m + 1.0;
  if (v < t) {
    return 0;
  }
  if (v > m - t) {
    return static_cast<uint16_t>(m);
  }
  const double r = std::trunc(full / (full - 2.0 * t) * (v - t));
  return static_cast<uint16_t>(std::clamp(r, 0.0, static_cast<double>(m)));
}

uint16_t brightnessValue(int32_t v, int32_t b, bool wide) {
  const int32_t m = fullScale(wide);
  const float f = brightnessFactor(b);
  const float r = std::trunc(static_cast<float>(v) * f);
  return static_cast<uint16_t>(std::clamp(r, 0.0f, static_cast<float>(m)));
}

namespace {

template <class T, class F>
void forEachColourSample(const ImageView& image, F&& f) {
  const int32_t colours = image.colourChannels();
  for (int32_t y = 0; y < image.height; ++y) {
    T* p = image.row<T>(y);
    for (int32_t x = 0; x < image.width; ++x) {
      for (int32_t c = 0; c < colours; ++c) {
        T& s = p[x * image.channels + c];
        s = static_cast<T>(f(s));
      }
    }
  }
}

template <class F>
void mapSamples(const ImageView& image, F&& f) {
  if (image.wide()) {
    forEachColourSample<uint16_t>(image, f);
  } else {
    forEachColourSample<uint8_t>(image, f);
  }
}

struct TableKey {
  int32_t gamma = 100, contrast = 0, brightness = 0;
  bool operator==(const TableKey&) const = default;
};

struct TableCache {
  bool built = false;
  TableKey key;
  SampleTable table;
};

// Scalar on purpose: vectorised, a table loop becomes gathers, slower than plain loads.
template <class T>
void lutRun(T* p, int32_t n, const uint16_t* table) {
  for (int32_t i = 0; i < n; ++i) {
    p[i] = static_cast<T>(table[p[i]]);
  }
}

template <class T>
void lutRunSkipFourth(T* p, int32_t pixels, const uint16_t* table) {
  for (int32_t x = 0; x < pixels; ++x) {
    p[4 * x] = static_cast<T>(table[p[4 * x]]);
    p[4 * x + 1] = static_cast<T>(table[p[4 * x + 1]]);
    p[4 * x + 2] = static_cast<T>(table[p[4 * x + 2]]);
  }
}

// 8-bit samples look up a byte table, which stays in a few cache lines.
NIVEXA_SIMD_CLONES void byteRun(uint8_t* p, int32_t n, const uint8_t* table) {
  for (int32_t i = 0; i < n; ++i) {
    p[i] = table[p[i]];
  }
}

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
constexpr int32_t kNibbleRows = 16;
constexpr int32_t kNibbleBits = 4;
constexpr int32_t kByteVector = 32;

// A byte table as sixteen rows of sixteen entries: a byte shuffle looks a sample's low four bits
// up in every row at once, and the row its high four bits name is kept. Sixteen shuffles per 32
// samples still beat 32 dependent loads and stores; the tail goes through the scalar loop.
[[gnu::target("avx2")]] void byteRunAvx2(uint8_t* p, int32_t n, const uint8_t* table) {
  __m256i rows[kNibbleRows];
  for (int32_t k = 0; k < kNibbleRows; ++k) {
    rows[k] = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + kNibbleRows * k)));
  }
  const __m256i nibble = _mm256_set1_epi8(kNibbleRows - 1);
  int32_t i = 0;
  for (; i + kByteVector <= n; i += kByteVector) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i low = _mm256_and_si256(v, nibble);
    const __m256i high = _mm256_and_si256(_mm256_srli_epi16(v, kNibbleBits), nibble);
    __m256i r = _mm256_setzero_si256();
    for (int32_t k = 0; k < kNibbleRows; ++k) {
      const __m256i mine = _mm256_cmpeq_epi8(high, _mm256_set1_epi8(static_cast<char>(k)));
      r = _mm256_or_si256(r, _mm256_and_si256(mine, _mm256_shuffle_epi8(rows[k], low)));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), r);
  }
  byteRun(p + i, n - i, table);
}
#endif

void byteRunAny(uint8_t* p, int32_t n, const uint8_t* table) {
#if defined(NIVEXA_HAVE_AVX2_KERNELS)
  if (useAvx2()) {
    byteRunAvx2(p, n, table);
    return;
  }
#endif
  byteRun(p, n, table);
}

template <class T>
void applyRows(const ImageView& image, const uint16_t* table, int32_t y0, int32_t y1) {
  if constexpr (sizeof(T) == 1) {
    if (image.channels != 4) {
      uint8_t bytes[256];
      for (size_t i = 0; i < 256; ++i) {
        bytes[i] = static_cast<uint8_t>(table[i]);
      }
      for (int32_t y = y0; y < y1; ++y) {
        byteRunAny(image.row<uint8_t>(y), image.width * image.channels, bytes);
      }
      return;
    }
  }
  for (int32_t y = y0; y < y1; ++y) {
    T* p = image.row<T>(y);
    if (image.channels == 4) {
      lutRunSkipFourth(p, image.width, table);
    } else {
      lutRun(p, image.width * image.channels, table);
    }
  }
}

}  // namespace

void gammaReference(const ImageView& image, int32_t gamma) {
  const bool wide = image.wide();
  mapSamples(image, [&](int32_t v) { return gammaValue(v, gamma, wide); });
}

void contrastReference(const ImageView& image, int32_t contrast) {
  const bool wide = image.wide();
  mapSamples(image, [&](int32_t v) { return contrastValue(v, contrast, wide); });
}

void brightnessReference(const ImageView& image, int32_t brightness) {
  const bool wide = image.wide();
  mapSamples(image, [&](int32_t v) { return brightnessValue(v, brightness, wide); });
}

float brightnessFactor(int32_t b) {
  return b > 0 ? 1.0f + static_cast<float>(b * 10) / 255.0f
               : 1.0f - static_cast<float>(-b) / 255.0f;
}

namespace {

template <class T>
NIVEXA_SIMD_CLONES void scaleRun(T* p, int32_t n, float f, int32_t m) {
  for (int32_t i = 0; i < n; ++i) {
    const int32_t r = static_cast<int32_t>(static_cast<float>(p[i]) * f);
    p[i] = static_cast<T>(std::clamp(r, 0, m));
  }
}

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
[[gnu::target("avx2")]] inline __m256i scaleBytes(__m256i v, __m256i whole, __m256i fraction) {
  return _mm256_min_epu16(
      _mm256_add_epi16(_mm256_mullo_epi16(v, whole), _mm256_mulhi_epu16(v, fraction)),
      _mm256_set1_epi16(255));
}

// Even and odd bytes are widened in place by a mask and a shift, so no shuffle is needed.
[[gnu::target("avx2")]] void scaleBytesAvx2(uint8_t* p, int32_t n, ByteScale s) {
  const __m256i whole = _mm256_set1_epi16(static_cast<int16_t>(s.whole));
  const __m256i fraction = _mm256_set1_epi16(static_cast<int16_t>(s.fraction));
  const __m256i low = _mm256_set1_epi16(0x00FF);
  int32_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i even = scaleBytes(_mm256_and_si256(v, low), whole, fraction);
    const __m256i odd = scaleBytes(_mm256_srli_epi16(v, 8), whole, fraction);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i),
                        _mm256_or_si256(even, _mm256_slli_epi16(odd, 8)));
  }
  for (; i < n; ++i) {
    p[i] = static_cast<uint8_t>(std::min(p[i] * s.whole + ((p[i] * s.fraction) >> 16), 255));
  }
}
#endif

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
constexpr int32_t kWordVector = 16;

// 16 samples in 16-bit lanes: the input limit keeps the whole product inside a lane.
[[gnu::target("avx2")]] void scaleWordsAvx2(uint16_t* p, int32_t n, const WordScale& s) {
  const __m256i limit = _mm256_set1_epi16(static_cast<int16_t>(s.inputLimit));
  const __m256i whole = _mm256_set1_epi16(static_cast<int16_t>(s.whole));
  const __m256i fraction = _mm256_set1_epi16(static_cast<int16_t>(s.fraction));
  const __m256i full = _mm256_set1_epi16(static_cast<int16_t>(kMaxSample16));
  int32_t i = 0;
  for (; i + kWordVector <= n; i += kWordVector) {
    const __m256i v =
        _mm256_min_epu16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)), limit);
    const __m256i r =
        _mm256_add_epi16(_mm256_mullo_epi16(v, whole), _mm256_mulhi_epu16(v, fraction));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), _mm256_min_epu16(r, full));
  }
  for (; i < n; ++i) {
    p[i] = wordScaled(p[i], s);
  }
}
#endif

template <class T>
void scaleRows(const ImageView& image, float f, int32_t y0, int32_t y1, int32_t brightness) {
#if defined(NIVEXA_HAVE_AVX2_KERNELS)
  if (sizeof(T) == 1 && image.channels != 4 && useAvx2()) {
    const ByteScale& s = byteScale(brightness);
    if (s.exact) {
      for (int32_t y = y0; y < y1; ++y) {
        scaleBytesAvx2(image.row<uint8_t>(y), image.width * image.channels, s);
      }
      return;
    }
  }
  if (sizeof(T) == 2 && image.channels != 4 && useAvx2()) {
    const WordScale& s = wordScale(brightness);
    if (s.exact) {
      for (int32_t y = y0; y < y1; ++y) {
        scaleWordsAvx2(image.row<uint16_t>(y), image.width * image.channels, s);
      }
      return;
    }
  }
#else
  (void)brightness;
#endif
  for (int32_t y = y0; y < y1; ++y) {
    T* p = image.row<T>(y);
    if (image.channels == 4) {
      for (int32_t x = 0; x < image.width; ++x) {
        for (int32_t c = 0; c < 3; ++c) {
          const int32_t r = static_cast<int32_t>(static_cast<float>(p[4 * x + c]) * f);
          p[4 * x + c] = static_cast<T>(std::clamp(r, 0, image.maxValue()));
        }
      }
    } else {
      scaleRun(p, image.width * image.channels, f, image.maxValue());
    }
  }
}

}  // namespace

void brightnessRows(const ImageView& image, int32_t brightness, int32_t y0, int32_t y1) {
  if (!image.valid() || brightness == 0) {
    return;
  }
  const float f = brightnessFactor(brightness);
  y0 = std::max(y0, 0);
  y1 = std::min(y1, image.height);
  if (image.wide()) {
    scaleRows<uint16_t>(image, f, y0, y1, brightness);
  } else {
    scaleRows<uint8_t>(image, f, y0, y1, brightness);
  }
}

const SampleTable& pointTable(int32_t gamma, int32_t contrast, int32_t brightness, bool wide) {
  // One cache per thread and depth: each camera processes on its own thread, so two cameras
  // never share (or race on) a table, and a steady stream rebuilds nothing.
  thread_local TableCache caches[2];
  TableCache& cache = caches[wide ? 1 : 0];
  const TableKey key{gamma, contrast, brightness};
  if (cache.built && cache.key == key) {
    return cache.table;
  }
  cache.table.clear();
  cache.key = key;
  cache.built = true;
  if (gamma == 100 && contrast == 0 && brightness == 0) {
    return cache.table;
  }
  const int32_t entries = wide ? 65536 : 256;
  cache.table.resize(static_cast<size_t>(entries));
  for (int32_t v = 0; v < entries; ++v) {
    int32_t s = v;
    if (gamma != 100) {
      s = gammaValue(s, gamma, wide);
    }
    if (contrast != 0) {
      s = contrastValue(s, contrast, wide);
    }
    if (brightness != 0) {
      s = brightnessValue(s, brightness, wide);
    }
    cache.table[static_cast<size_t>(v)] = static_cast<uint16_t>(s);
  }
  return cache.table;
}

void applyTableRows(const ImageView& image, std::span<const uint16_t> table, int32_t y0,
                    int32_t y1) {
  if (!image.valid() || table.size() != (image.wide() ? 65536u : 256u)) {
    return;
  }
  if (image.wide()) {
    applyRows<uint16_t>(image, table.data(), y0, y1);
  } else {
    applyRows<uint8_t>(image, table.data(), y0, y1);
  }
}

void applyTable(const ImageView& image, std::span<const uint16_t> table) {
  applyTableRows(image, table, 0, image.height);
}

namespace {

ByteScale findByteScale(int32_t brightness) {
  const float f = brightnessFactor(brightness);
  const auto whole = static_cast<int32_t>(f);
  const auto nearest = static_cast<int32_t>((f - static_cast<float>(whole)) * 65536.0f);
  for (int32_t fraction : {nearest, nearest + 1, nearest - 1, nearest + 2}) {
    if (fraction < 0 || fraction > 65535) {
      continue;
    }
    bool exact = true;
    for (int32_t v = 0; v < 256 && exact; ++v) {
      const int32_t r = std::min(v * whole + ((v * fraction) >> 16), 255);
      exact = r == brightnessValue(v, brightness, false);
    }
    if (exact) {
      return {true, static_cast<uint16_t>(whole), static_cast<uint16_t>(fraction)};
    }
  }
  return {};
}

}  // namespace

namespace {

// Every 16-bit sample is checked, not just the 12 significant bits: the result must not change
// for a sample a camera never sends either.
constexpr int32_t kWordValues = 65536;
constexpr int32_t kFractionOne = 65536;

WordScale findWordScale(int32_t brightness) {
  const float f = brightnessFactor(brightness);
  const auto whole = static_cast<int32_t>(f);
  // A factor of at least 1 takes every sample above full scale to full scale, so those can be
  // cut to just above it first; below 1 the samples go in whole.
  const int32_t limit = whole > 0 ? kMaxSample16 + 1 : kWordValues - 1;
  if (static_cast<int64_t>(limit) * (whole + 1) >= kWordValues) {
    return {};
  }
  const auto nearest =
      static_cast<int32_t>((f - static_cast<float>(whole)) * static_cast<float>(kFractionOne));
  for (int32_t fraction : {nearest, nearest + 1, nearest - 1, nearest + 2}) {
    if (fraction < 0 || fraction >= kFractionOne) {
      continue;
    }
    const WordScale s{true, static_cast<uint16_t>(limit), static_cast<uint16_t>(whole),
                      static_cast<uint16_t>(fraction)};
    bool exact = true;
    for (int32_t v = 0; v < kWordValues && exact; ++v) {
      exact = wordScaled(static_cast<uint16_t>(v), s) == brightnessValue(v, brightness, true);
    }
    if (exact) {
      return s;
    }
  }
  return {};
}

}  // namespace

uint16_t wordScaled(uint16_t v, const WordScale& s) {
  const uint32_t c = std::min<uint32_t>(v, s.inputLimit);
  return static_cast<uint16_t>(
      std::min<uint32_t>(c * s.whole + ((c * s.fraction) >> 16), kMaxSample16));
}

namespace {

// The search for an exact integer scale runs over every sample value: done once per setting and
// thread, not per frame.
template <class Scale, Scale (*find)(int32_t)>
const Scale& cachedScale(int32_t brightness) {
  thread_local int32_t cachedFor = 0;
  thread_local Scale cached;
  if (cachedFor != brightness) {
    cached = find(brightness);
    cachedFor = brightness;
  }
  return cached;
}

}  // namespace

const WordScale& wordScale(int32_t brightness) {
  return cachedScale<WordScale, findWordScale>(brightness);
}

const ByteScale& byteScale(int32_t brightness) {
  return cachedScale<ByteScale, findByteScale>(brightness);
}

}  // namespace nivexa::imaging::steps

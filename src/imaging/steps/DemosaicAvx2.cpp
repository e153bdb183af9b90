#include "imaging/steps/DemosaicAvx2.h"

#include "imaging/DibImage.h"
#include "imaging/steps/Simd.h"

#if defined(NIVEXA_HAVE_AVX2_KERNELS)

#include <immintrin.h>

// Red and blue each sit on every other column, so the vertical pass keeps one sum per column of
// that colour (a "compact" row: entry k is column 2k + parity), read from the raw rows by
// masking or shifting whole words, which needs no shuffle. The horizontal pass then yields the
// even and the odd output columns as two vectors whose lanes merge into pixel order by a shift
// and an or. Only the final blue-green-red interleave shuffles.

namespace nivexa::imaging::steps::avx2 {
namespace {

#define NIVEXA_AVX2 [[gnu::target("avx2")]]

// pshufb masks that interleave sixteen bytes (or eight words) of blue, green and red into packed
// pixels: [output vector][source channel][byte]; 0x80 leaves the byte to another channel.
struct InterleaveMasks {
  alignas(16) uint8_t m[3][3][16];
};

constexpr InterleaveMasks interleaveMasks(int32_t sampleBytes) {
  InterleaveMasks r{};
  for (int32_t k = 0; k < 3; ++k) {
    for (int32_t c = 0; c < 3; ++c) {
      for (int32_t i = 0; i < 16; ++i) {
        const int32_t byte = 16 * k + i;
        const int32_t sample = byte / sampleBytes;
        const int32_t pixel = sample / 3;
        r.m[k][c][i] =
            static_cast<uint8_t>(sample % 3 == c ? pixel * sampleBytes + byte % sampleBytes : 0x80);
      }
    }
  }
  return r;
}

constexpr InterleaveMasks kBytes = interleaveMasks(1);
constexpr InterleaveMasks kWords = interleaveMasks(2);

template <class T>
NIVEXA_AVX2 inline __m256i load(const T* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

NIVEXA_AVX2 inline __m256i mask(const InterleaveMasks& masks, int k, int c) {
  return _mm256_broadcastsi128_si256(
      _mm_load_si128(reinterpret_cast<const __m128i*>(masks.m[k][c])));
}

// Each 128-bit lane of b, g, r holds the samples of one half of the pixels; the three shuffled
// vectors hold the interleaved halves, stored lane by lane.
NIVEXA_AVX2 inline void storeInterleaved(uint8_t* dst, __m256i b, __m256i g, __m256i r,
                                         const InterleaveMasks& masks) {
  for (int k = 0; k < 3; ++k) {
    const __m256i v = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(b, mask(masks, k, 0)),
                                                      _mm256_shuffle_epi8(g, mask(masks, k, 1))),
                                      _mm256_shuffle_epi8(r, mask(masks, k, 2)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16 * k), _mm256_castsi256_si128(v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 48 + 16 * k), _mm256_extracti128_si256(v, 1));
  }
}

// ---- 8-bit samples, sums in 16-bit lanes ----

// a[k] = 3 x near[2k + parity] + far[2k + parity] for every column of that parity.
NIVEXA_AVX2 void compact8(uint16_t* a, const uint8_t* nearRow, const uint8_t* farRow, int32_t width,
                          int32_t parity) {
  const __m256i low = _mm256_set1_epi16(0x00FF);
  int32_t k = 0;
  for (; 2 * k + 32 <= width; k += 16) {
    __m256i n = load(nearRow + 2 * k);
    __m256i f = load(farRow + 2 * k);
    if (parity == 0) {
      n = _mm256_and_si256(n, low);
      f = _mm256_and_si256(f, low);
    } else {
      n = _mm256_srli_epi16(n, 8);
      f = _mm256_srli_epi16(f, 8);
    }
    const __m256i sum = _mm256_add_epi16(_mm256_add_epi16(n, _mm256_slli_epi16(n, 1)), f);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + k), sum);
  }
  for (; 2 * k + parity < width; ++k) {
    a[k] = static_cast<uint16_t>(3 * nearRow[2 * k + parity] + farRow[2 * k + parity]);
  }
}

// (sum x factor) >> 11, at most 255, as the high half of (sum << 4) x (2 x factor): sums are at
// most 16 x 255, so sum << 4 still fits the lane.
NIVEXA_AVX2 inline __m256i scale8(__m256i sum, __m256i factor2) {
  return _mm256_min_epu16(_mm256_mulhi_epu16(_mm256_slli_epi16(sum, 4), factor2),
                          _mm256_set1_epi16(255));
}

// Thirty-two pixels of one colour from column 2k: 3 x the sum of the colour's column nearer the
// point plus the farther one, as bytes in pixel order.
NIVEXA_AVX2 inline __m256i colour8(const uint16_t* a, int32_t k, int32_t parity, __m256i factor2) {
  const __m256i here = load(a + k);
  const __m256i before = load(a + k - 1);
  const __m256i here3 = _mm256_add_epi16(here, _mm256_slli_epi16(here, 1));
  __m256i even, odd;
  if (parity == 0) {
    even = _mm256_add_epi16(here3, before);
    odd = _mm256_add_epi16(here3, load(a + k + 1));
  } else {
    even = _mm256_add_epi16(_mm256_add_epi16(before, _mm256_slli_epi16(before, 1)), here);
    odd = _mm256_add_epi16(here3, before);
  }
  return _mm256_or_si256(scale8(even, factor2), _mm256_slli_epi16(scale8(odd, factor2), 8));
}

// floor((a + b) / 2) per byte: the rounding-up average less the odd bit.
NIVEXA_AVX2 inline __m256i floorAverage8(__m256i a, __m256i b) {
  return _mm256_sub_epi8(_mm256_avg_epu8(a, b),
                         _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1)));
}

NIVEXA_AVX2 inline void block8(uint8_t* dst, int32_t k, const RowInput<uint8_t>& in,
                               const uint16_t* red, const uint16_t* blue, __m256i rf2, __m256i bf2,
                               __m256i greenMask) {
  const int32_t x = 2 * k;
  const __m256i r = colour8(red, k, in.redX, rf2);
  const __m256i b = colour8(blue, k, in.blueX, bf2);
  const __m256i site = floorAverage8(load(in.cur + x), load(in.prev + x - 1));
  const __m256i other = floorAverage8(load(in.prev + x), load(in.cur + x - 1));
  const __m256i g = _mm256_blendv_epi8(other, site, greenMask);
  storeInterleaved(dst + 3 * x, b, g, r, kBytes);
}

// ---- 16-bit samples, sums in 32-bit lanes ----

NIVEXA_AVX2 void compact16(uint32_t* a, const uint16_t* nearRow, const uint16_t* farRow,
                           int32_t width, int32_t parity) {
  const __m256i low = _mm256_set1_epi32(0xFFFF);
  int32_t k = 0;
  for (; 2 * k + 16 <= width; k += 8) {
    __m256i n = load(nearRow + 2 * k);
    __m256i f = load(farRow + 2 * k);
    if (parity == 0) {
      n = _mm256_and_si256(n, low);
      f = _mm256_and_si256(f, low);
    } else {
      n = _mm256_srli_epi32(n, 16);
      f = _mm256_srli_epi32(f, 16);
    }
    const __m256i sum = _mm256_add_epi32(_mm256_add_epi32(n, _mm256_slli_epi32(n, 1)), f);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + k), sum);
  }
  for (; 2 * k + parity < width; ++k) {
    a[k] = 3u * nearRow[2 * k + parity] + farRow[2 * k + parity];
  }
}

// Sums are at most 16 x 65535 and factors at most 4095, so the product fits 32 bits.
NIVEXA_AVX2 inline __m256i scale16(__m256i sum, __m256i factor) {
  return _mm256_min_epu32(_mm256_srli_epi32(_mm256_mullo_epi32(sum, factor), 11),
                          _mm256_set1_epi32(kMaxSample16));
}

NIVEXA_AVX2 inline __m256i colour16(const uint32_t* a, int32_t k, int32_t parity, __m256i factor) {
  const __m256i here = load(a + k);
  const __m256i before = load(a + k - 1);
  const __m256i here3 = _mm256_add_epi32(here, _mm256_slli_epi32(here, 1));
  __m256i even, odd;
  if (parity == 0) {
    even = _mm256_add_epi32(here3, before);
    odd = _mm256_add_epi32(here3, load(a + k + 1));
  } else {
    even = _mm256_add_epi32(_mm256_add_epi32(before, _mm256_slli_epi32(before, 1)), here);
    odd = _mm256_add_epi32(here3, before);
  }
  return _mm256_or_si256(scale16(even, factor), _mm256_slli_epi32(scale16(odd, factor), 16));
}

NIVEXA_AVX2 inline __m256i floorAverage16(__m256i a, __m256i b) {
  return _mm256_sub_epi16(_mm256_avg_epu16(a, b),
                          _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi16(1)));
}

NIVEXA_AVX2 inline void block16(uint16_t* dst, int32_t k, const RowInput<uint16_t>& in,
                                const uint32_t* red, const uint32_t* blue, __m256i rf, __m256i bf,
                                __m256i greenMask) {
  const int32_t x = 2 * k;
  const __m256i r = colour16(red, k, in.redX, rf);
  const __m256i b = colour16(blue, k, in.blueX, bf);
  const __m256i site = floorAverage16(load(in.cur + x), load(in.prev + x - 1));
  const __m256i other = floorAverage16(load(in.prev + x), load(in.cur + x - 1));
  const __m256i g = _mm256_blendv_epi8(other, site, greenMask);
  storeInterleaved(reinterpret_cast<uint8_t*>(dst + 3 * x), b, g, r, kWords);
}

}  // namespace

NIVEXA_AVX2 int32_t interiorRow8(uint8_t* dst, int32_t width, const RowInput<uint8_t>& in,
                                 uint32_t redFactor, uint32_t blueFactor, uint16_t* scratch) {
  uint16_t* red = scratch;
  uint16_t* blue = scratch + width / 2 + 2;
  compact8(red, in.nearRed, in.farRed, width, in.redX);
  compact8(blue, in.nearBlue, in.farBlue, width, in.blueX);
  const __m256i rf2 = _mm256_set1_epi16(static_cast<int16_t>(2 * redFactor));
  const __m256i bf2 = _mm256_set1_epi16(static_cast<int16_t>(2 * blueFactor));
  const __m256i evenBytes = _mm256_set1_epi16(0x00FF);
  const __m256i greenMask =
      in.greenEven ? evenBytes : _mm256_xor_si256(evenBytes, _mm256_set1_epi32(-1));
  // Blocks of 16 column pairs from pair 1 (column 2) up to the last pair whose neighbours are all
  // inside the row; a shorter tail is done again as one whole block ending there.
  const int32_t lastPair = (width - 3) / 2;
  int32_t k = 1;
  for (; k + 15 <= lastPair; k += 16) {
    block8(dst, k, in, red, blue, rf2, bf2, greenMask);
  }
  if (k <= lastPair) {
    block8(dst, lastPair - 15, in, red, blue, rf2, bf2, greenMask);
  }
  return 2 * (lastPair + 1);
}

NIVEXA_AVX2 int32_t interiorRow16(uint16_t* dst, int32_t width, const RowInput<uint16_t>& in,
                                  uint32_t redFactor, uint32_t blueFactor, uint32_t* scratch) {
  uint32_t* red = scratch;
  uint32_t* blue = scratch + width / 2 + 2;
  compact16(red, in.nearRed, in.farRed, width, in.redX);
  compact16(blue, in.nearBlue, in.farBlue, width, in.blueX);
  const __m256i rf = _mm256_set1_epi32(static_cast<int32_t>(redFactor));
  const __m256i bf = _mm256_set1_epi32(static_cast<int32_t>(blueFactor));
  const __m256i evenWords = _mm256_set1_epi32(0x0000FFFF);
  const __m256i greenMask =
      in.greenEven ? evenWords : _mm256_xor_si256(evenWords, _mm256_set1_epi32(-1));
  const int32_t lastPair = (width - 3) / 2;
  int32_t k = 1;
  for (; k + 7 <= lastPair; k += 8) {
    block16(dst, k, in, red, blue, rf, bf, greenMask);
  }
  if (k <= lastPair) {
    block16(dst, lastPair - 7, in, red, blue, rf, bf, greenMask);
  }
  return 2 * (lastPair + 1);
}

#undef NIVEXA_AVX2

}  // namespace nivexa::imaging::steps::avx2

#endif

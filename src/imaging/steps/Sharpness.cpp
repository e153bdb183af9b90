#include "imaging/steps/Sharpness.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/steps/PointOps.h"
#include "imaging/steps/Simd.h"

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
#include <immintrin.h>
#endif

namespace nivexa::imaging::steps {
namespace {

template <class T>
void referenceT(const ImageView& out, const ImageView& work, int32_t s) {
  const int32_t m = out.maxValue();
  const int32_t ch = out.channels;
  // Pass 1: the box means go into the output.
  for (int32_t y = 2; y <= out.height - 3; ++y) {
    for (int32_t x = 2; x <= out.width - 3; ++x) {
      for (int32_t c = 0; c < out.colourChannels(); ++c) {
        int32_t sum = 0;
        for (int32_t dy = -2; dy <= 1; ++dy) {
          for (int32_t dx = -2; dx <= 1; ++dx) {
            sum += work.row<T>(y + dy)[(x + dx) * ch + c];
          }
        }
        out.row<T>(y)[x * ch + c] = static_cast<T>(sum >> 4);
      }
    }
  }
  // Pass 2: each interior sample pushed away from its mean.
  for (int32_t y = 2; y <= out.height - 3; ++y) {
    for (int32_t x = 2; x <= out.width - 3; ++x) {
      for (int32_t c = 0; c < out.colourChannels(); ++c) {
        const int32_t v = work.row<T>(y)[x * ch + c];
        const int32_t mean = out.row<T>(y)[x * ch + c];
        const int32_t d = (s * (v - mean)) / 10;
        out.row<T>(y)[x * ch + c] = static_cast<T>(std::clamp(v + d, 0, m));
      }
    }
  }
}

// The strongest sharpness the vector kernels take: the largest the parameter allows.
constexpr int32_t kMaxVectorStrength = 30;

// s * diff / 10 truncated towards zero, for |s * diff| <= 30 * 255: the reciprocal 6554 / 65536
// is exact after truncation over that whole range and keeps the loop in 32-bit lanes.
inline int32_t div10Small(int32_t n) {
  const int32_t a = n < 0 ? -n : n;
  const int32_t q = (a * 6554) >> 16;
  return n < 0 ? -q : q;
}

NIVEXA_SIMD_CLONES
void interior8(uint8_t* dst, const uint8_t* r0, const uint8_t* r1, const uint8_t* r2,
               const uint8_t* r3, const uint8_t* centre, int32_t first, int32_t last, int32_t ch,
               int32_t s, uint16_t* colSum, float f) {
  // Column sums of the four rows for every sample the box touches.
  for (int32_t i = first - 2 * ch; i < last + ch; ++i) {
    colSum[i] = static_cast<uint16_t>(r0[i] + r1[i] + r2[i] + r3[i]);
  }
  for (int32_t i = first; i < last; ++i) {
    const int32_t box = colSum[i - 2 * ch] + colSum[i - ch] + colSum[i] + colSum[i + ch];
    const int32_t v = centre[i];
    const int32_t r = std::clamp(v + div10Small(s * (v - (box >> 4))), 0, 255);
    const int32_t b = static_cast<int32_t>(static_cast<float>(r) * f);
    dst[i] = static_cast<uint8_t>(std::clamp(b, 0, 255));
  }
}

NIVEXA_SIMD_CLONES
void interior16(uint16_t* dst, const uint16_t* r0, const uint16_t* r1, const uint16_t* r2,
                const uint16_t* r3, const uint16_t* centre, int32_t first, int32_t last, int32_t ch,
                int32_t s, uint32_t* colSum, float f) {
  for (int32_t i = first - 2 * ch; i < last + ch; ++i) {
    colSum[i] = static_cast<uint32_t>(r0[i]) + r1[i] + r2[i] + r3[i];
  }
  for (int32_t i = first; i < last; ++i) {
    const int32_t box =
        static_cast<int32_t>(colSum[i - 2 * ch] + colSum[i - ch] + colSum[i] + colSum[i + ch]);
    const int32_t v = centre[i];
    const int32_t r = std::clamp(v + (s * (v - (box >> 4))) / 10, 0, int32_t{kMaxSample16});
    const int32_t b = static_cast<int32_t>(static_cast<float>(r) * f);
    dst[i] = static_cast<uint16_t>(std::clamp(b, 0, int32_t{kMaxSample16}));
  }
}

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
// The brightness factor as its whole part and 16-bit fraction, applied to sixteen lanes and
// limited to `full`.
[[gnu::target("avx2")]] inline __m256i scaledLanes(__m256i r, uint16_t whole, uint16_t fraction,
                                                   __m256i full) {
  return _mm256_min_epu16(
      _mm256_add_epi16(_mm256_mullo_epi16(r, _mm256_set1_epi16(static_cast<int16_t>(whole))),
                       _mm256_mulhi_epu16(r, _mm256_set1_epi16(static_cast<int16_t>(fraction)))),
      full);
}

// The 8-bit interior in sixteen 16-bit lanes: box sums reach 16 x 255, strength x difference
// at most 30 x 255, both inside a lane; the division by 10 is the reciprocal above, and the
// brightness, when on, the integer factor proven equal to the float product (`bright`).
[[gnu::target("avx2")]] inline __m256i sharpen16(const uint16_t* colSum, const uint8_t* centre,
                                                 int32_t i, int32_t ch, __m256i strength,
                                                 const ByteScale* bright) {
  const __m256i box = _mm256_add_epi16(
      _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(colSum + i - 2 * ch)),
                       _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colSum + i - ch))),
      _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(colSum + i)),
                       _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colSum + i + ch))));
  const __m256i v =
      _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(centre + i)));
  const __m256i product =
      _mm256_mullo_epi16(_mm256_sub_epi16(v, _mm256_srli_epi16(box, 4)), strength);
  const __m256i quotient = _mm256_mulhi_epu16(_mm256_abs_epi16(product), _mm256_set1_epi16(6554));
  __m256i r = _mm256_add_epi16(v, _mm256_sign_epi16(quotient, product));
  r = _mm256_min_epi16(_mm256_max_epi16(r, _mm256_setzero_si256()), _mm256_set1_epi16(255));
  if (bright != nullptr) {
    r = scaledLanes(r, bright->whole, bright->fraction, _mm256_set1_epi16(255));
  }
  return r;
}

[[gnu::target("avx2")]] void interior8Avx2(uint8_t* dst, const uint8_t* r0, const uint8_t* r1,
                                           const uint8_t* r2, const uint8_t* r3,
                                           const uint8_t* centre, int32_t first, int32_t last,
                                           int32_t ch, int32_t s, uint16_t* colSum,
                                           const ByteScale* bright) {
  for (int32_t i = first - 2 * ch; i < last + ch; ++i) {
    colSum[i] = static_cast<uint16_t>(r0[i] + r1[i] + r2[i] + r3[i]);
  }
  const __m256i strength = _mm256_set1_epi16(static_cast<int16_t>(s));
  int32_t i = first;
  for (; i + 32 <= last; i += 32) {
    const __m256i a = sharpen16(colSum, centre, i, ch, strength, bright);
    const __m256i b = sharpen16(colSum, centre, i + 16, ch, strength, bright);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i),
                        _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8));
  }
  for (; i + 16 <= last; i += 16) {
    const __m256i a = sharpen16(colSum, centre, i, ch, strength, bright);
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(dst + i),
        _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(a, a), 0xD8)));
  }
  if (i < last) {
    // The tail as one vector ending on the last sample: the output is not an input.
    const int32_t j = last - 16;
    const __m256i a = sharpen16(colSum, centre, j, ch, strength, bright);
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(dst + j),
        _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(a, a), 0xD8)));
  }
}
#endif

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
// The 16-bit interior in sixteen 16-bit lanes, for rows whose samples keep to the 12 significant
// bits (seen while the column sums are formed; a row with a larger sample returns false for the
// 32-bit loop): box sums then reach 16 x 4095 inside an unsigned lane. The strength s = 10 a + b
// splits s x |d| / 10 into a x |d| + (b x |d|) / 10 with b x |d| below 2^16, where the division is
// one exact reciprocal multiply. Brightness, when on, is the integer factor proven equal to the
// float product.
constexpr int32_t kWordVector = 16;
constexpr int32_t kStrengthTens = 10;
constexpr int16_t kTenthReciprocal = static_cast<int16_t>(52429);  // 2^19 / 10, rounded up
constexpr int32_t kTenthShift = 3;                                 // 19 - 16
constexpr int32_t kMeanShift = 4;                                  // the box holds 16 samples

[[gnu::target("avx2")]] inline __m256i loadWords(const uint16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

[[gnu::target("avx2")]] inline __m256i sharpenWords(const uint16_t* colSum, const uint16_t* centre,
                                                    int32_t i, int32_t ch, __m256i tens,
                                                    __m256i units, const WordScale* bright) {
  const __m256i box =
      _mm256_add_epi16(_mm256_add_epi16(loadWords(colSum + i - 2 * ch), loadWords(colSum + i - ch)),
                       _mm256_add_epi16(loadWords(colSum + i), loadWords(colSum + i + ch)));
  const __m256i v = loadWords(centre + i);
  const __m256i d = _mm256_sub_epi16(v, _mm256_srli_epi16(box, kMeanShift));
  const __m256i magnitude = _mm256_abs_epi16(d);
  const __m256i rest = _mm256_srli_epi16(
      _mm256_mulhi_epu16(_mm256_mullo_epi16(magnitude, units), _mm256_set1_epi16(kTenthReciprocal)),
      kTenthShift);
  const __m256i q = _mm256_add_epi16(_mm256_mullo_epi16(magnitude, tens), rest);
  const __m256i full = _mm256_set1_epi16(static_cast<int16_t>(kMaxSample16));
  __m256i r = _mm256_add_epi16(v, _mm256_sign_epi16(q, d));
  r = _mm256_min_epi16(_mm256_max_epi16(r, _mm256_setzero_si256()), full);
  if (bright != nullptr) {
    // r is at most full scale, inside every input limit.
    r = scaledLanes(r, bright->whole, bright->fraction, full);
  }
  return r;
}

[[gnu::target("avx2")]] bool interior16Avx2(uint16_t* dst, const uint16_t* r0, const uint16_t* r1,
                                            const uint16_t* r2, const uint16_t* r3,
                                            const uint16_t* centre, int32_t first, int32_t last,
                                            int32_t ch, int32_t s, uint16_t* colSum,
                                            const WordScale* bright) {
  const int32_t from = first - 2 * ch;
  const int32_t to = last + ch;
  __m256i seen = _mm256_setzero_si256();
  int32_t i = from;
  for (; i + kWordVector <= to; i += kWordVector) {
    const __m256i a = loadWords(r0 + i), b = loadWords(r1 + i);
    const __m256i c = loadWords(r2 + i), d = loadWords(r3 + i);
    seen = _mm256_or_si256(seen, _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(colSum + i),
                        _mm256_add_epi16(_mm256_add_epi16(a, b), _mm256_add_epi16(c, d)));
  }
  uint32_t seenTail = 0;
  for (; i < to; ++i) {
    seenTail |= static_cast<uint32_t>(r0[i] | r1[i] | r2[i] | r3[i]);
    colSum[i] = static_cast<uint16_t>(r0[i] + r1[i] + r2[i] + r3[i]);
  }
  const __m256i above = _mm256_set1_epi16(static_cast<int16_t>(~kMaxSample16));
  if (seenTail > kMaxSample16 || _mm256_testz_si256(seen, above) == 0) {
    return false;
  }
  const __m256i tens = _mm256_set1_epi16(static_cast<int16_t>(s / kStrengthTens));
  const __m256i units = _mm256_set1_epi16(static_cast<int16_t>(s % kStrengthTens));
  i = first;
  for (; i + kWordVector <= last; i += kWordVector) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i),
                        sharpenWords(colSum, centre, i, ch, tens, units, bright));
  }
  if (i < last) {
    // The tail as one vector ending on the last sample: the output is not an input.
    const int32_t j = last - kWordVector;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + j),
                        sharpenWords(colSum, centre, j, ch, tens, units, bright));
  }
  return true;
}
#endif

// The 16-bit interior of one row, by the vector kernel where it applies.
void interior16Any(uint16_t* dst, const uint16_t* r0, const uint16_t* r1, const uint16_t* r2,
                   const uint16_t* r3, const uint16_t* centre, int32_t first, int32_t last,
                   int32_t ch, int32_t s, uint32_t* colSum, uint16_t* narrowSum, float f,
                   int32_t brightness) {
#if defined(NIVEXA_HAVE_AVX2_KERNELS)
  if (useAvx2() && last - first >= kWordVector && s >= 0 && s <= kMaxVectorStrength) {
    const WordScale* bright = brightness != 0 ? &wordScale(brightness) : nullptr;
    if ((bright == nullptr || bright->exact) &&
        interior16Avx2(dst, r0, r1, r2, r3, centre, first, last, ch, s, narrowSum, bright)) {
      return;
    }
  }
#else
  (void)narrowSum;
  (void)brightness;
#endif
  interior16(dst, r0, r1, r2, r3, centre, first, last, ch, s, colSum, f);
}

// Brightness on the two border pixels at each end of an interior row (colour samples only).
template <class T>
void scaleBorder(T* p, int32_t width, int32_t ch, float f, int32_t m) {
  for (int32_t x : {0, 1, width - 2, width - 1}) {
    for (int32_t c = 0; c < (ch == 1 ? 1 : 3); ++c) {
      const int32_t r = static_cast<int32_t>(static_cast<float>(p[x * ch + c]) * f);
      p[x * ch + c] = static_cast<T>(std::clamp(r, 0, m));
    }
  }
}

// The 8-bit interior of one row, by the vector kernel where it applies.
void interior8Any(uint8_t* dst, const uint8_t* r0, const uint8_t* r1, const uint8_t* r2,
                  const uint8_t* r3, const uint8_t* centre, int32_t first, int32_t last, int32_t ch,
                  int32_t s, uint16_t* colSum, float f, int32_t brightness) {
#if defined(NIVEXA_HAVE_AVX2_KERNELS)
  if (useAvx2() && last - first >= 16 && s >= 0 && s <= kMaxVectorStrength) {
    const ByteScale* bright = brightness != 0 ? &byteScale(brightness) : nullptr;
    if (bright == nullptr || bright->exact) {
      interior8Avx2(dst, r0, r1, r2, r3, centre, first, last, ch, s, colSum, bright);
      return;
    }
  }
#else
  (void)brightness;
#endif
  interior8(dst, r0, r1, r2, r3, centre, first, last, ch, s, colSum, f);
}

template <class T, class Sum>
void sharpenT(const ImageView& out, const ImageView& work, int32_t s, int32_t brightness,
              int32_t y0, int32_t y1, StepScratch& scratch) {
  // Multiplying by exactly 1 in single precision changes no sample, so no brightness is 1.
  const float f = brightness != 0 ? brightnessFactor(brightness) : 1.0f;
  const int32_t ch = out.channels;
  const int32_t samples = out.width * ch;
  const bool hasInterior = out.width >= 5 && out.height >= 5;
  const std::span<Sum> colSum = scratch.take<Sum>(0, static_cast<size_t>(samples));
  // The fourth samples of a 32/64-bit row, put back after the colour samples are sharpened.
  const std::span<T> keep = scratch.take<T>(1, ch == 4 ? static_cast<size_t>(out.width) : 0);
  // 16-bit column sums for the 16-bit vector kernel.
  const std::span<uint16_t> narrowSum =
      scratch.take<uint16_t>(2, sizeof(T) == 2 ? static_cast<size_t>(samples) : 0);
  for (int32_t y = y0; y < y1; ++y) {
    T* dst = out.row<T>(y);
    const T* centre = work.row<T>(y);
    if (hasInterior && y >= 2 && y <= out.height - 3) {
      const int32_t first = 2 * ch;
      const int32_t last = (out.width - 2) * ch;
      if (ch == 4) {
        // The fourth sample is no colour: run the colour samples, then put the fourth back.
        for (int32_t x = 0; x < out.width; ++x) {
          keep[static_cast<size_t>(x)] = dst[4 * x + 3];
        }
        if constexpr (sizeof(T) == 1) {
          interior8Any(dst, work.row<T>(y - 2), work.row<T>(y - 1), centre, work.row<T>(y + 1),
                       centre, first, last, ch, s, colSum.data(), f, brightness);
        } else {
          interior16Any(dst, work.row<T>(y - 2), work.row<T>(y - 1), centre, work.row<T>(y + 1),
                        centre, first, last, ch, s, colSum.data(), narrowSum.data(), f, brightness);
        }
        for (int32_t x = 0; x < out.width; ++x) {
          dst[4 * x + 3] = keep[static_cast<size_t>(x)];
        }
      } else if constexpr (sizeof(T) == 1) {
        interior8Any(dst, work.row<T>(y - 2), work.row<T>(y - 1), centre, work.row<T>(y + 1),
                     centre, first, last, ch, s, colSum.data(), f, brightness);
      } else {
        interior16Any(dst, work.row<T>(y - 2), work.row<T>(y - 1), centre, work.row<T>(y + 1),
                      centre, first, last, ch, s, colSum.data(), narrowSum.data(), f, brightness);
      }
    }
    if (brightness != 0) {
      if (hasInterior && y >= 2 && y <= out.height - 3) {
        scaleBorder(dst, out.width, ch, f, out.maxValue());
      } else {
        brightnessRows(out, brightness, y, y + 1);
      }
    }
  }
}

}  // namespace

void copyToWork(const ImageView& output, const ImageView& work, int32_t y0, int32_t y1) {
  const size_t bytes = static_cast<size_t>(output.width) * output.channels * output.sampleBytes;
  for (int32_t y = y0; y < y1; ++y) {
    std::memcpy(work.row<uint8_t>(y), output.row<uint8_t>(y), bytes);
  }
}

void sharpnessReference(const ImageView& output, const ImageView& work, int32_t strength) {
  if (!output.valid() || !work.valid() || strength == 0) {
    return;
  }
  copyToWork(output, work, 0, output.height);
  if (output.wide()) {
    referenceT<uint16_t>(output, work, strength);
  } else {
    referenceT<uint8_t>(output, work, strength);
  }
}

void sharpenRows(const ImageView& output, const ImageView& work, int32_t strength,
                 int32_t brightness, int32_t y0, int32_t y1, StepScratch* scratch) {
  if (!output.valid() || !work.valid()) {
    return;
  }
  StepScratch own;
  StepScratch& buffers = scratch != nullptr ? *scratch : own;
  y0 = std::max(y0, 0);
  y1 = std::min(y1, output.height);
  if (output.wide()) {
    sharpenT<uint16_t, uint32_t>(output, work, strength, brightness, y0, y1, buffers);
  } else {
    sharpenT<uint8_t, uint16_t>(output, work, strength, brightness, y0, y1, buffers);
  }
}

}  // namespace nivexa::imaging::steps

#include "imaging/steps/DemosaicAvx2.h"

#include "imaging/steps/Simd.h"

#if defined(NIVEXA_HAVE_AVX2_KERNELS)

#include <immintrin.h>

namespace nivexa::imaging::steps::avx2 {
namespace {

// pshufb masks that interleave three vectors of blue, green and red into packed pixels:
// [output vector][source channel][byte]; 0x80 leaves the byte for another channel.
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

[[gnu::target("avx2")]] inline void storeInterleaved(uint8_t* dst, __m128i b, __m128i g, __m128i r,
                                                     const InterleaveMasks& masks) {
  for (int k = 0; k < 3; ++k) {
    const auto* m = masks.m[k];
    const __m128i v = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(b, _mm_load_si128(reinterpret_cast<const __m128i*>(m[0]))),
                     _mm_shuffle_epi8(g, _mm_load_si128(reinterpret_cast<const __m128i*>(m[1])))),
        _mm_shuffle_epi8(r, _mm_load_si128(reinterpret_cast<const __m128i*>(m[2]))));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16 * k), v);
  }
}

// All-ones lanes where the column (x + lane) has parity `parity`.
[[gnu::target("avx2")]] inline __m256i parityMask16(int32_t x, int32_t parity) {
  const __m256i even = _mm256_set1_epi32(0x0000FFFF);
  return ((x ^ parity) & 1) == 0 ? even : _mm256_xor_si256(even, _mm256_set1_epi32(-1));
}
[[gnu::target("avx2")]] inline __m256i parityMask32(int32_t x, int32_t parity) {
  const __m256i even = _mm256_set1_epi64x(0x00000000FFFFFFFFll);
  return ((x ^ parity) & 1) == 0 ? even : _mm256_xor_si256(even, _mm256_set1_epi32(-1));
}

template <class T>
[[gnu::target("avx2")]] inline __m256i load(const T* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

[[gnu::target("avx2")]] inline __m256i widen(const uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
[[gnu::target("avx2")]] inline __m256i widen(const uint16_t* p) {
  return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// 3 x v[x] + v[x - 2] where the lane has the colour's parity, 3 x v[x - 1] + v[x + 1] elsewhere.
[[gnu::target("avx2")]] inline __m256i horizontal16(const uint16_t* v, __m256i own) {
  const __m256i here =
      _mm256_add_epi16(_mm256_mullo_epi16(load(v), _mm256_set1_epi16(3)), load(v - 2));
  const __m256i between =
      _mm256_add_epi16(_mm256_mullo_epi16(load(v - 1), _mm256_set1_epi16(3)), load(v + 1));
  return _mm256_blendv_epi8(between, here, own);
}
[[gnu::target("avx2")]] inline __m256i horizontal32(const uint32_t* v, __m256i own) {
  const __m256i three = _mm256_set1_epi32(3);
  const __m256i here = _mm256_add_epi32(_mm256_mullo_epi32(load(v), three), load(v - 2));
  const __m256i between = _mm256_add_epi32(_mm256_mullo_epi32(load(v - 1), three), load(v + 1));
  return _mm256_blendv_epi8(between, here, own);
}

// Sixteen pixels from column x.
[[gnu::target("avx2")]] inline void block8(uint8_t* dst, int32_t x, const uint16_t* vr,
                                           const uint16_t* vb, const uint8_t* cur,
                                           const uint8_t* prev, RowSites s, __m256i rf2,
                                           __m256i bf2) {
  const __m256i max = _mm256_set1_epi16(255);
  // (sum x f) >> 11 as the high half of (sum << 4) x (2 f): sum <= 4080 keeps sum << 4 in 16 bits.
  const __m256i red = _mm256_min_epu16(
      _mm256_mulhi_epu16(_mm256_slli_epi16(horizontal16(vr + x, parityMask16(x, s.rx)), 4), rf2),
      max);
  const __m256i blue = _mm256_min_epu16(
      _mm256_mulhi_epu16(_mm256_slli_epi16(horizontal16(vb + x, parityMask16(x, s.bx)), 4), bf2),
      max);
  const __m256i c0 = widen(cur + x), c1 = widen(cur + x - 1);
  const __m256i p0 = widen(prev + x), p1 = widen(prev + x - 1);
  const __m256i site = _mm256_srli_epi16(_mm256_add_epi16(c0, p1), 1);
  const __m256i other = _mm256_srli_epi16(_mm256_add_epi16(p0, c1), 1);
  const __m256i green = _mm256_blendv_epi8(other, site, parityMask16(x, s.gx ^ 1));
  const __m256i bg = _mm256_permute4x64_epi64(_mm256_packus_epi16(blue, green), 0xD8);
  const __m256i rr = _mm256_permute4x64_epi64(_mm256_packus_epi16(red, red), 0xD8);
  storeInterleaved(dst + 3 * x, _mm256_castsi256_si128(bg), _mm256_extracti128_si256(bg, 1),
                   _mm256_castsi256_si128(rr), kBytes);
}

// Eight pixels from column x.
[[gnu::target("avx2")]] inline void block16(uint16_t* dst, int32_t x, const uint32_t* vr,
                                            const uint32_t* vb, const uint16_t* cur,
                                            const uint16_t* prev, RowSites s, __m256i rf,
                                            __m256i bf) {
  const __m256i max = _mm256_set1_epi32(65535);
  const __m256i red = _mm256_min_epu32(
      _mm256_srli_epi32(_mm256_mullo_epi32(horizontal32(vr + x, parityMask32(x, s.rx)), rf), 11),
      max);
  const __m256i blue = _mm256_min_epu32(
      _mm256_srli_epi32(_mm256_mullo_epi32(horizontal32(vb + x, parityMask32(x, s.bx)), bf), 11),
      max);
  const __m256i c0 = widen(cur + x), c1 = widen(cur + x - 1);
  const __m256i p0 = widen(prev + x), p1 = widen(prev + x - 1);
  const __m256i site = _mm256_srli_epi32(_mm256_add_epi32(c0, p1), 1);
  const __m256i other = _mm256_srli_epi32(_mm256_add_epi32(p0, c1), 1);
  const __m256i green = _mm256_blendv_epi8(other, site, parityMask32(x, s.gx ^ 1));
  const __m256i bg = _mm256_permute4x64_epi64(_mm256_packus_epi32(blue, green), 0xD8);
  const __m256i rr = _mm256_permute4x64_epi64(_mm256_packus_epi32(red, red), 0xD8);
  storeInterleaved(reinterpret_cast<uint8_t*>(dst + 3 * x), _mm256_castsi256_si128(bg),
                   _mm256_extracti128_si256(bg, 1), _mm256_castsi256_si128(rr), kWords);
}

}  // namespace

[[gnu::target("avx2")]] void interiorRow8(uint8_t* dst, int32_t width, const uint16_t* vr,
                                          const uint16_t* vb, const uint8_t* cur,
                                          const uint8_t* prev, RowSites sites, uint32_t rf,
                                          uint32_t bf) {
  const __m256i rf2 = _mm256_set1_epi16(static_cast<int16_t>(2 * rf));
  const __m256i bf2 = _mm256_set1_epi16(static_cast<int16_t>(2 * bf));
  constexpr int32_t n = 16;
  const int32_t end = width - 1;  // one past the last interior column
  int32_t x = 2;
  for (; x + n <= end; x += n) {
    block8(dst, x, vr, vb, cur, prev, sites, rf2, bf2);
  }
  if (x < end) {
    // The tail again as one whole vector ending on the last interior column.
    block8(dst, end - n, vr, vb, cur, prev, sites, rf2, bf2);
  }
}

[[gnu::target("avx2")]] void interiorRow16(uint16_t* dst, int32_t width, const uint32_t* vr,
                                           const uint32_t* vb, const uint16_t* cur,
                                           const uint16_t* prev, RowSites sites, uint32_t rf,
                                           uint32_t bf) {
  const __m256i rfv = _mm256_set1_epi32(static_cast<int32_t>(rf));
  const __m256i bfv = _mm256_set1_epi32(static_cast<int32_t>(bf));
  constexpr int32_t n = 8;
  const int32_t end = width - 1;
  int32_t x = 2;
  for (; x + n <= end; x += n) {
    block16(dst, x, vr, vb, cur, prev, sites, rfv, bfv);
  }
  if (x < end) {
    block16(dst, end - n, vr, vb, cur, prev, sites, rfv, bfv);
  }
}

[[gnu::target("avx2")]] void verticalSums8(uint16_t* v, const uint8_t* nearRow,
                                           const uint8_t* farRow, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    v[x] = static_cast<uint16_t>(3 * nearRow[x] + farRow[x]);
  }
}

[[gnu::target("avx2")]] void verticalSums16(uint32_t* v, const uint16_t* nearRow,
                                            const uint16_t* farRow, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    v[x] = 3u * nearRow[x] + farRow[x];
  }
}

}  // namespace nivexa::imaging::steps::avx2

#endif

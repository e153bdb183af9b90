#include "imaging/steps/Sharpness.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/steps/PointOps.h"
#include "imaging/steps/Simd.h"

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
    const int32_t r = std::clamp(v + (s * (v - (box >> 4))) / 10, 0, 65535);
    const int32_t b = static_cast<int32_t>(static_cast<float>(r) * f);
    dst[i] = static_cast<uint16_t>(std::clamp(b, 0, 65535));
  }
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

template <class T, class Sum>
void sharpenT(const ImageView& out, const ImageView& work, int32_t s, int32_t brightness,
              int32_t y0, int32_t y1) {
  // Multiplying by exactly 1 in single precision changes no sample, so no brightness is 1.
  const float f = brightness != 0 ? brightnessFactor(brightness) : 1.0f;
  const int32_t ch = out.channels;
  const int32_t samples = out.width * ch;
  const bool hasInterior = out.width >= 5 && out.height >= 5;
  std::vector<Sum> colSum(static_cast<size_t>(samples));
  for (int32_t y = y0; y < y1; ++y) {
    T* dst = out.row<T>(y);
    const T* centre = work.row<T>(y);
    if (hasInterior && y >= 2 && y <= out.height - 3) {
      const int32_t first = 2 * ch;
      const int32_t last = (out.width - 2) * ch;
      if (ch == 4) {
        // The fourth sample is no colour: run the colour samples, then put the fourth back.
        std::vector<T> keep(static_cast<size_t>(out.width));
        for (int32_t x = 0; x < out.width; ++x) {
          keep[static_cast<size_t>(x)] = dst[4 * x + 3];
        }
        if constexpr (sizeof(T) == 1) {
          interior8(dst, work.row<T>(y - 2), work.row<T>(y - 1), centre, work.row<T>(y + 1), centre,
                    first, last, ch, s, colSum.data(), f);
        } else {
          interior16(dst, work.row<T>(y - 2), work.row<T>(y - 1), centre, work.row<T>(y + 1),
                     centre, first, last, ch, s, colSum.data(), f);
        }
        for (int32_t x = 0; x < out.width; ++x) {
          dst[4 * x + 3] = keep[static_cast<size_t>(x)];
        }
      } else if constexpr (sizeof(T) == 1) {
        interior8(dst, work.row<T>(y - 2), work.row<T>(y - 1), centre, work.row<T>(y + 1), centre,
                  first, last, ch, s, colSum.data(), f);
      } else {
        interior16(dst, work.row<T>(y - 2), work.row<T>(y - 1), centre, work.row<T>(y + 1), centre,
                   first, last, ch, s, colSum.data(), f);
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
                 int32_t brightness, int32_t y0, int32_t y1) {
  if (!output.valid() || !work.valid()) {
    return;
  }
  y0 = std::max(y0, 0);
  y1 = std::min(y1, output.height);
  if (output.wide()) {
    sharpenT<uint16_t, uint32_t>(output, work, strength, brightness, y0, y1);
  } else {
    sharpenT<uint8_t, uint16_t>(output, work, strength, brightness, y0, y1);
  }
}

}  // namespace nivexa::imaging::steps

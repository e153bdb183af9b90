#include "imaging/steps/Demosaic.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <vector>

#include "imaging/steps/DemosaicAvx2.h"
#include "imaging/steps/Simd.h"

namespace nivexa::imaging::steps {
namespace {

// A neighbour index beyond the edge is replaced by the one four further in. On frames shorter
// than four that lands outside as well; stepping by two keeps the colour phase while one
// exists, and a one-pixel frame falls back to its only sample.
int32_t foldIndex(int32_t i, int32_t n) {
  if (i >= 0 && i < n) {
    return i;
  }
  i = i < 0 ? i + 4 : i - 4;
  while (i >= n) {
    i -= 2;
  }
  while (i < 0) {
    i += 2;
  }
  return i < n ? i : n - 1;
}

// A colour is a 9-3-3-1 sum (16 samples' worth) times gain percent x 1.28: shifting by 11 takes
// out both, so 100 % returns the sample.
constexpr int32_t kFactorShift = 11;

inline uint32_t gainFactor(int32_t gainPercent) {
  return static_cast<uint32_t>(std::max(0, static_cast<int32_t>(gainPercent * 1.28)));
}

// One output pixel straight from the arithmetic, at any position: the reference, and the
// border columns of the vector path.
template <class T>
class ReferencePixels {
 public:
  ReferencePixels(const ImageView& raw, const ImageView& out, int32_t pattern, int32_t redGain,
                  int32_t blueGain)
      : raw_(raw),
        out_(out),
        sites_(bayerSites(pattern)),
        m_(raw.maxValue()),
        clipAt_((int64_t{raw.maxValue()} + 1) << kFactorShift),
        redFactor_(gainFactor(redGain)),
        blueFactor_(gainFactor(blueGain)) {}

  void operator()(int32_t x, int32_t y) const {
    const bool greenSite = (((x + y) ^ (sites_.redX + sites_.redY)) & 1) != 0;
    const int64_t green =
        greenSite ? (at(x, y) + at(x - 1, y - 1)) / 2 : (at(x, y - 1) + at(x - 1, y)) / 2;
    T* p = out_.row<T>(y) + static_cast<ptrdiff_t>(x) * out_.channels;
    p[0] = scaled(weighted(x, y, sites_.blueX, sites_.blueY), blueFactor_);
    p[1] = static_cast<T>(green);
    p[2] = scaled(weighted(x, y, sites_.redX, sites_.redY), redFactor_);
  }

 private:
  int64_t at(int32_t x, int32_t y) const {
    return raw_.row<T>(foldIndex(y, raw_.height))[foldIndex(x, raw_.width)];
  }
  // The four samples of one colour around the point (x - 1/2, y - 1/2), weighted 9 3 3 1.
  int64_t weighted(int32_t x, int32_t y, int32_t px, int32_t py) const {
    const int32_t nx = (x & 1) == px ? x : x - 1;
    const int32_t fx = nx == x ? x - 2 : x + 1;
    const int32_t ny = (y & 1) == py ? y : y - 1;
    const int32_t fy = ny == y ? y - 2 : y + 1;
    return 9 * at(nx, ny) + 3 * at(fx, ny) + 3 * at(nx, fy) + at(fx, fy);
  }
  T scaled(int64_t sum, int64_t factor) const {
    const int64_t product = sum * factor;
    return static_cast<T>(product >= clipAt_ ? m_ : product >> kFactorShift);
  }

  const ImageView& raw_;
  const ImageView& out_;
  BayerSites sites_;
  int64_t m_, clipAt_, redFactor_, blueFactor_;
};

template <class T>
void referenceT(const ImageView& raw, const ImageView& out, int32_t pattern, int32_t redGain,
                int32_t blueGain) {
  const ReferencePixels<T> pixel(raw, out, pattern, redGain, blueGain);
  const int32_t w = raw.width;
  const int32_t h = raw.height;
  // Interior first, then the two-pixel border strips, as the order the arithmetic was laid
  // down in; the result does not depend on it.
  for (int32_t y = 2; y <= h - 3; ++y) {
    for (int32_t x = 2; x <= w - 3; ++x) {
      pixel(x, y);
    }
  }
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const bool interior = y >= 2 && y <= h - 3 && x >= 2 && x <= w - 3;
      if (!interior) {
        pixel(x, y);
      }
    }
  }
}

// One output row. vr / vb hold, per column (index -2..w+1 at offset 2), the vertical part of the
// red / blue sums: 3 x the nearer row + the farther row; cur / prev are the raw rows y and y - 1
// with column -1 at offset 1. RX, BX: column parity of red and blue; GX: whether even columns
// of this row are green sites.
template <class T, int RX, int BX, int GX>
NIVEXA_SIMD_CLONES void rowKernel(T* dst, int32_t ch, int32_t w, const uint32_t* vr,
                                  const uint32_t* vb, const T* cur, const T* prev, uint32_t rf,
                                  uint32_t bf, uint32_t m) {
  auto red = [&](int32_t x, int parity) {
    const uint32_t sum = parity == RX ? 3 * vr[x + 2] + vr[x] : 3 * vr[x + 1] + vr[x + 3];
    return std::min((sum * rf) >> kFactorShift, m);
  };
  auto blue = [&](int32_t x, int parity) {
    const uint32_t sum = parity == BX ? 3 * vb[x + 2] + vb[x] : 3 * vb[x + 1] + vb[x + 3];
    return std::min((sum * bf) >> kFactorShift, m);
  };
  auto green = [&](int32_t x, int parity) {
    const bool site = (parity == 0) == (GX == 1);
    return site ? (static_cast<uint32_t>(cur[x + 1]) + prev[x]) >> 1
                : (static_cast<uint32_t>(prev[x + 1]) + cur[x]) >> 1;
  };
  int32_t x = 0;
  for (; x + 1 < w; x += 2) {
    T* p = dst + static_cast<ptrdiff_t>(x) * ch;
    p[0] = static_cast<T>(blue(x, 0));
    p[1] = static_cast<T>(green(x, 0));
    p[2] = static_cast<T>(red(x, 0));
    p[ch] = static_cast<T>(blue(x + 1, 1));
    p[ch + 1] = static_cast<T>(green(x + 1, 1));
    p[ch + 2] = static_cast<T>(red(x + 1, 1));
  }
  if (x < w) {
    T* p = dst + static_cast<ptrdiff_t>(x) * ch;
    p[0] = static_cast<T>(blue(x, 0));
    p[1] = static_cast<T>(green(x, 0));
    p[2] = static_cast<T>(red(x, 0));
  }
}

template <class T>
using RowKernel = void (*)(T*, int32_t, int32_t, const uint32_t*, const uint32_t*, const T*,
                           const T*, uint32_t, uint32_t, uint32_t);

template <class T, int RX, int BX>
RowKernel<T> pickGreen(int gx) {
  return gx ? rowKernel<T, RX, BX, 1> : rowKernel<T, RX, BX, 0>;
}

template <class T>
RowKernel<T> pickKernel(int rx, int bx, int gx) {
  if (rx == 0) {
    return bx == 0 ? pickGreen<T, 0, 0>(gx) : pickGreen<T, 0, 1>(gx);
  }
  return bx == 0 ? pickGreen<T, 1, 0>(gx) : pickGreen<T, 1, 1>(gx);
}

template <class T>
NIVEXA_SIMD_CLONES void verticalSums(uint32_t* v, const T* nearRow, const T* farRow, int32_t w) {
  for (int32_t x = 0; x < w; ++x) {
    v[x + 2] = 3u * nearRow[x] + farRow[x];
  }
}

template <class T>
void rowsT(const ImageView& raw, const ImageView& out, int32_t pattern, int32_t redGain,
           int32_t blueGain, int32_t y0, int32_t y1, StepScratch& scratch) {
  const BayerSites sites = bayerSites(pattern);
  const int32_t w = raw.width;
  const int32_t h = raw.height;
  const uint32_t m = static_cast<uint32_t>(raw.maxValue());
  const uint32_t rf = gainFactor(redGain);
  const uint32_t bf = gainFactor(blueGain);
  const std::span<uint32_t> vr = scratch.take<uint32_t>(0, static_cast<size_t>(w) + 4);
  const std::span<uint32_t> vb = scratch.take<uint32_t>(1, static_cast<size_t>(w) + 4);
  const std::span<T> cur = scratch.take<T>(0, static_cast<size_t>(w) + 1);
  const std::span<T> prev = scratch.take<T>(1, static_cast<size_t>(w) + 1);
  const int32_t leftFold[2] = {foldIndex(-2, w), foldIndex(-1, w)};
  const int32_t rightFold[2] = {foldIndex(w, w), foldIndex(w + 1, w)};
  auto padded = [&](std::span<uint32_t> v) {
    v[0] = v[static_cast<size_t>(leftFold[0]) + 2];
    v[1] = v[static_cast<size_t>(leftFold[1]) + 2];
    v[static_cast<size_t>(w) + 2] = v[static_cast<size_t>(rightFold[0]) + 2];
    v[static_cast<size_t>(w) + 3] = v[static_cast<size_t>(rightFold[1]) + 2];
  };
  auto copyRow = [&](std::span<T> dstRow, int32_t y) {
    const T* src = raw.row<T>(foldIndex(y, h));
    std::copy(src, src + w, dstRow.begin() + 1);
    dstRow[0] = src[leftFold[1]];
  };
  for (int32_t y = y0; y < y1; ++y) {
    const int32_t nyR = (y & 1) == sites.redY ? y : y - 1;
    const int32_t fyR = nyR == y ? y - 2 : y + 1;
    const int32_t nyB = (y & 1) == sites.blueY ? y : y - 1;
    const int32_t fyB = nyB == y ? y - 2 : y + 1;
    verticalSums<T>(vr.data(), raw.row<T>(foldIndex(nyR, h)), raw.row<T>(foldIndex(fyR, h)), w);
    verticalSums<T>(vb.data(), raw.row<T>(foldIndex(nyB, h)), raw.row<T>(foldIndex(fyB, h)), w);
    padded(vr);
    padded(vb);
    copyRow(cur, y);
    copyRow(prev, y - 1);
    // Even columns of row y are green sites when their parity differs from red's.
    const int gx = ((y ^ (sites.redX + sites.redY)) & 1) != 0 ? 1 : 0;
    pickKernel<T>(sites.redX, sites.blueX, gx)(out.row<T>(y), out.channels, w, vr.data(), vb.data(),
                                               cur.data(), prev.data(), rf, bf, m);
  }
}

#if defined(NIVEXA_HAVE_AVX2_KERNELS)
// The vector rows: interior columns by the AVX2 kernels, the border columns by the reference.
// Returns false, doing nothing, where the kernels do not apply.
template <class T>
bool rowsAvx2(const ImageView& raw, const ImageView& out, int32_t pattern, int32_t redGain,
              int32_t blueGain, int32_t y0, int32_t y1, StepScratch& buffers) {
  constexpr bool wide = sizeof(T) == 2;
  const uint32_t rf = gainFactor(redGain);
  const uint32_t bf = gainFactor(blueGain);
  const uint32_t maxFactor = wide ? avx2::kMaxFactor16 : avx2::kMaxFactor8;
  const int32_t w = raw.width;
  if (!useAvx2() || out.channels != 3 || w < (wide ? avx2::kMinWidth16 : avx2::kMinWidth8) ||
      rf > maxFactor || bf > maxFactor) {
    return false;
  }
  const BayerSites sites = bayerSites(pattern);
  const ReferencePixels<T> pixel(raw, out, pattern, redGain, blueGain);
  const int32_t h = raw.height;
  using Sum = std::conditional_t<wide, uint32_t, uint16_t>;
  const std::span<Sum> scratch = buffers.take<Sum>(2, 2 * (static_cast<size_t>(w) / 2 + 2));
  for (int32_t y = y0; y < y1; ++y) {
    const int32_t nyR = (y & 1) == sites.redY ? y : y - 1;
    const int32_t fyR = nyR == y ? y - 2 : y + 1;
    const int32_t nyB = (y & 1) == sites.blueY ? y : y - 1;
    const int32_t fyB = nyB == y ? y - 2 : y + 1;
    const avx2::RowInput<T> in{raw.row<T>(foldIndex(nyR, h)),
                               raw.row<T>(foldIndex(fyR, h)),
                               raw.row<T>(foldIndex(nyB, h)),
                               raw.row<T>(foldIndex(fyB, h)),
                               raw.row<T>(y),
                               raw.row<T>(foldIndex(y - 1, h)),
                               sites.redX,
                               sites.blueX,
                               ((y ^ (sites.redX + sites.redY)) & 1) != 0 ? 1 : 0};
    int32_t end = 0;
    if constexpr (wide) {
      end = avx2::interiorRow16(out.row<T>(y), w, in, rf, bf, scratch.data());
    } else {
      end = avx2::interiorRow8(out.row<T>(y), w, in, rf, bf, scratch.data());
    }
    pixel(0, y);
    pixel(1, y);
    for (int32_t x = end; x < w; ++x) {
      pixel(x, y);
    }
  }
  return true;
}
#endif

}  // namespace

int32_t effectiveBayerPattern(int32_t pattern, bool mirrorH, bool mirrorV) {
  int32_t p = pattern & 3;
  if (mirrorV) {
    p ^= 1;  // 0<->1, 2<->3
  }
  if (mirrorH) {
    p ^= 2;  // 0<->2, 1<->3
  }
  return p;
}

BayerSites bayerSites(int32_t pattern) {
  switch (pattern & 3) {
    case 0:  // G B / R G
      return {0, 1, 1, 0};
    case 1:  // R G / G B
      return {0, 0, 1, 1};
    case 2:  // B G / G R
      return {1, 1, 0, 0};
    default:  // G R / B G
      return {1, 0, 0, 1};
  }
}

bool demosaicFormatsMatch(const ImageView& raw, const ImageView& out) {
  return raw.valid() && out.valid() && raw.channels == 1 && out.channels >= 3 &&
         raw.sampleBytes == out.sampleBytes && raw.width == out.width && raw.height == out.height;
}

bool measureWhiteBalance(const ImageView& raw, int32_t pattern, WhiteBalanceGains& gains) {
  const BayerSites sites = bayerSites(pattern);
  uint64_t sum[3] = {0, 0, 0};  // red, green, blue
  uint64_t count[3] = {0, 0, 0};
  for (int32_t y = 0; y < raw.height; ++y) {
    for (int32_t x = 0; x < raw.width; ++x) {
      const uint32_t v = raw.wide() ? raw.row<uint16_t>(y)[x] : raw.row<uint8_t>(y)[x];
      int k = 1;
      if ((x & 1) == sites.redX && (y & 1) == sites.redY) {
        k = 0;
      } else if ((x & 1) == sites.blueX && (y & 1) == sites.blueY) {
        k = 2;
      }
      sum[k] += v;
      ++count[k];
    }
  }
  for (int k = 0; k < 3; ++k) {
    if (count[k] == 0 || sum[k] == 0) {
      return false;
    }
  }
  const double r = static_cast<double>(sum[0]) / static_cast<double>(count[0]);
  const double g = static_cast<double>(sum[1]) / static_cast<double>(count[1]);
  const double b = static_cast<double>(sum[2]) / static_cast<double>(count[2]);
  const double s = g + r + b;
  const double k = s / g / 3;
  const double red = std::trunc(s / r / 3 * 100 / k);
  const double blue = std::trunc(s / b / 3 * 100 / k);
  gains.red = static_cast<int32_t>(std::min(red, 400.0));
  gains.blue = static_cast<int32_t>(std::min(blue, 400.0));
  gains.green = 100;
  return true;
}

void demosaicReference(const ImageView& raw, const ImageView& out, int32_t pattern, int32_t redGain,
                       int32_t blueGain) {
  if (!demosaicFormatsMatch(raw, out)) {
    return;
  }
  if (raw.wide()) {
    referenceT<uint16_t>(raw, out, pattern, redGain, blueGain);
  } else {
    referenceT<uint8_t>(raw, out, pattern, redGain, blueGain);
  }
}

void demosaicRows(const ImageView& raw, const ImageView& out, int32_t pattern, int32_t redGain,
                  int32_t blueGain, int32_t y0, int32_t y1, StepScratch* scratch) {
  if (!demosaicFormatsMatch(raw, out)) {
    return;
  }
  StepScratch own;
  StepScratch& buffers = scratch != nullptr ? *scratch : own;
  y0 = std::max(y0, 0);
  y1 = std::min(y1, raw.height);
  if (raw.wide()) {
#if defined(NIVEXA_HAVE_AVX2_KERNELS)
    if (rowsAvx2<uint16_t>(raw, out, pattern, redGain, blueGain, y0, y1, buffers)) {
      return;
    }
#endif
    rowsT<uint16_t>(raw, out, pattern, redGain, blueGain, y0, y1, buffers);
  } else {
#if defined(NIVEXA_HAVE_AVX2_KERNELS)
    if (rowsAvx2<uint8_t>(raw, out, pattern, redGain, blueGain, y0, y1, buffers)) {
      return;
    }
#endif
    rowsT<uint8_t>(raw, out, pattern, redGain, blueGain, y0, y1, buffers);
  }
}

}  // namespace nivexa::imaging::steps

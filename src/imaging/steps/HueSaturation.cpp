#include "imaging/steps/HueSaturation.h"

#include <algorithm>

namespace nivexa::imaging::steps {
namespace {

struct Sextant {
  int32_t mask;
  int32_t step;
};

constexpr std::array<Sextant, 12> kSextants = {{
    {0xFF00FF, -1},
    {0xFF0000, +0x100},
    {0xFFFF00, -0x10000},
    {0x00FF00, +1},
    {0x00FFFF, -0x100},
    {0x0000FF, +0x10000},
    {0xFF00FF, -1},
    {0xFF0000, +0x100},
    {0xFFFF00, -0x10000},
    {0x00FF00, +1},
    {0x00FFFF, -0x100},
    {0x0000FF, +0x10000},
}};

constexpr std::array<int32_t, 256> makeReciprocals() {
  std::array<int32_t, 256> q{};
  for (int32_t i = 1; i < 256; ++i) {
    q[static_cast<size_t>(i)] = 0xFF0000 / i;
  }
  return q;
}

// These never change, so they are constants rather than tables filled at run time by whichever
// camera gets there first.
constexpr std::array<int32_t, 256> kReciprocal = makeReciprocals();

constexpr int32_t grayWord(int32_t k) {
  return k * 0x010101;
}

template <class T>
void imageT(const ImageView& image, int32_t shift, const std::array<int32_t, 256>& scale) {
  // The arithmetic works on bytes; 16-bit samples hold 12 significant bits, so their top 8 are it.
  constexpr int down = sizeof(T) == 2 ? kSample16To8Shift : 0;
  // Samples above full scale count as full scale, as everywhere else.
  const auto toByte = [](T v) { return std::min(static_cast<int32_t>(v >> down), 255); };
  for (int32_t y = 0; y < image.height; ++y) {
    T* p = image.row<T>(y);
    for (int32_t x = 0; x < image.width; ++x, p += image.channels) {
      const uint32_t word =
          hueSaturationPixel(toByte(p[2]), toByte(p[1]), toByte(p[0]), shift, scale);
      p[0] = static_cast<T>((word & 0xFF) << down);
      p[1] = static_cast<T>(((word >> 8) & 0xFF) << down);
      p[2] = static_cast<T>(((word >> 16) & 0xFF) << down);
      if constexpr (sizeof(T) == 2) {
        if (image.channels == 4) {
          p[3] = 0;
        }
      }
    }
  }
}

}  // namespace

int32_t hueShift(int32_t hue) {
  const uint32_t t = static_cast<uint16_t>(hue * 65536 / 360);
  const int32_t p = static_cast<int32_t>((t * 6) >> 8);
  int32_t r = p % 512;
  if (r >= 256) {
    r -= 512;
  }
  int32_t a = r + 510 * (((p + 256) >> 9) % 3);
  if (a < 0) {
    a += 1530;
  } else if (a > 1529) {
    a -= 1530;
  }
  return a;
}

std::array<int32_t, 256> chromaScale(int32_t saturation) {
  std::array<int32_t, 256> s{};
  for (int32_t i = 0; i < 256; ++i) {
    s[static_cast<size_t>(i)] = (i * (256 + saturation) * 256 + 0x8000) >> 16;
  }
  return s;
}

uint32_t hueSaturationPixel(int32_t r, int32_t g, int32_t b, int32_t a,
                            const std::array<int32_t, 256>& scale) {
  const int32_t hi = std::max({r, g, b});
  const int32_t lo = std::min({r, g, b});
  const int32_t l = hi + lo;
  const int32_t c = hi - lo;
  int32_t s;
  int32_t d;
  if (std::max(r, g) < b) {
    s = 5;
    d = r - g;
  } else if (r >= g) {
    s = 1;
    d = g - b;
  } else {
    s = 3;
    d = b - r;
  }
  if (d < 0) {
    s -= 1;
    d += c;
  }
  const int32_t c2 = std::min(scale[static_cast<size_t>(c)], l < 256 ? l : 511 - l);
  const int32_t base = grayWord((l - c2) >> 1);
  if (c == 0) {
    return static_cast<uint32_t>(base);
  }
  const int32_t v = ((d * kReciprocal[static_cast<size_t>(c)] + 0x8000) >> 16) + (a % 255);
  const int32_t index = s + a / 255 + (v > 254 ? 1 : 0);
  const int32_t f = v >= 255 ? v - 255 : v;
  const int32_t w = ((l + c2) >> 1) - ((l - c2) >> 1);
  const Sextant& sx = kSextants[static_cast<size_t>(index)];
  const uint32_t result = static_cast<uint32_t>(base) +
                          (static_cast<uint32_t>(grayWord(w)) & static_cast<uint32_t>(sx.mask)) +
                          static_cast<uint32_t>(((w * f + 128) >> 8) * sx.step);
  return result;
}

void hueSaturation(const ImageView& image, int32_t hue, int32_t saturation) {
  if (!image.valid() || image.channels < 3) {
    return;
  }
  const int32_t shift = hueShift(hue);
  const std::array<int32_t, 256> scale = chromaScale(saturation);
  if (image.wide()) {
    imageT<uint16_t>(image, shift, scale);
  } else {
    imageT<uint8_t>(image, shift, scale);
  }
}

}  // namespace nivexa::imaging::steps

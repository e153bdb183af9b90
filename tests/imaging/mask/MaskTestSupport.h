#pragma once

#include <cstdint>
#include <random>

#include "imaging/DibImage.h"

namespace nivexa::imaging::mask::test {

inline int32_t sampleAt(const DibImage& image, int32_t x, int32_t y) {
  const uint8_t* row = image.row(y);
  return image.bitsPerPixel() == 16 ? (row[2 * x] | row[2 * x + 1] << 8) : row[x];
}

inline void setSample(DibImage& image, int32_t x, int32_t y, int32_t v) {
  uint8_t* row = image.row(y);
  if (image.bitsPerPixel() == 16) {
    row[2 * x] = static_cast<uint8_t>(v);
    row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
  } else {
    row[x] = static_cast<uint8_t>(v);
  }
}

inline void fillUniform(DibImage& image, int32_t v) {
  for (int32_t y = 0; y < image.height(); ++y) {
    for (int32_t x = 0; x < image.width(); ++x) {
      setSample(image, x, y, v);
    }
  }
}

inline void fillRandom(DibImage& image, std::mt19937& rng, int32_t lo, int32_t hi) {
  std::uniform_int_distribution<int32_t> dist(lo, hi);
  for (int32_t y = 0; y < image.height(); ++y) {
    for (int32_t x = 0; x < image.width(); ++x) {
      setSample(image, x, y, dist(rng));
    }
  }
}

inline bool samePixels(const DibImage& a, const DibImage& b) {
  if (a.width() != b.width() || a.height() != b.height() || a.bitsPerPixel() != b.bitsPerPixel()) {
    return false;
  }
  for (int32_t y = 0; y < a.height(); ++y) {
    for (int32_t x = 0; x < a.width(); ++x) {
      if (sampleAt(a, x, y) != sampleAt(b, x, y)) {
        return false;
      }
    }
  }
  return true;
}

inline void copyPixels(const DibImage& from, DibImage& to) {
  to.CopyFormat(from);
  for (int32_t y = 0; y < from.height(); ++y) {
    for (int32_t x = 0; x < from.width(); ++x) {
      setSample(to, x, y, sampleAt(from, x, y));
    }
  }
}

}  // namespace nivexa::imaging::mask::test

#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "imaging/DibImage.h"

namespace nivexa::imaging::steps {

static_assert(std::endian::native == std::endian::little,
              "16-bit samples are read in place as little-endian words");

// What a step kernel sees of a bitmap: pixels, geometry and sample layout, never the bitmap
// itself, so kernels can be tested and benchmarked on plain buffers.
struct ImageView {
  uint8_t* data = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;       // bytes per row
  int32_t channels = 1;     // samples per pixel: 1, 3 or 4
  int32_t sampleBytes = 1;  // 1 or 2

  bool valid() const { return data != nullptr && width > 0 && height > 0; }
  bool wide() const { return sampleBytes == 2; }
  // Blue, green, red (or the one gray sample); a fourth sample is never a colour.
  int32_t colourChannels() const { return channels == 1 ? 1 : 3; }
  // Full scale: 16-bit samples carry the sensor's 12 significant bits.
  int32_t maxValue() const { return wide() ? kMaxSample16 : 255; }
  template <class T>
  T* row(int32_t y) const {
    return reinterpret_cast<T*>(data + static_cast<ptrdiff_t>(y) * stride);
  }
};

// The view of a bitmap; an invalid view (no data) for a missing bitmap or an unknown depth.
inline ImageView viewOf(DibImage& image) {
  ImageView v;
  switch (image.bitsPerPixel()) {
    case 8:
      v.channels = 1, v.sampleBytes = 1;
      break;
    case 16:
      v.channels = 1, v.sampleBytes = 2;
      break;
    case 24:
      v.channels = 3, v.sampleBytes = 1;
      break;
    case 32:
      v.channels = 4, v.sampleBytes = 1;
      break;
    case 48:
      v.channels = 3, v.sampleBytes = 2;
      break;
    case 64:
      v.channels = 4, v.sampleBytes = 2;
      break;
    default:
      return {};
  }
  if (!image.valid()) {
    return {};
  }
  v.data = image.bits();
  v.width = image.width();
  v.height = image.height();
  v.stride = image.stride();
  return v;
}

}  // namespace nivexa::imaging::steps

#include "imaging/steps/Mirror.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace nivexa::imaging::steps {

void mirrorReference(const ImageView& image, bool horizontal, bool vertical) {
  if (!image.valid() || (!horizontal && !vertical)) {
    return;
  }
  const size_t bpp = static_cast<size_t>(image.channels) * image.sampleBytes;
  const size_t rowBytes = static_cast<size_t>(image.width) * bpp;
  std::vector<uint8_t> temp(rowBytes * static_cast<size_t>(image.height));
  for (int32_t y = 0; y < image.height; ++y) {
    const uint8_t* src = image.row<uint8_t>(vertical ? image.height - 1 - y : y);
    uint8_t* dst = temp.data() + rowBytes * static_cast<size_t>(y);
    for (int32_t x = 0; x < image.width; ++x) {
      const int32_t sx = horizontal ? image.width - 1 - x : x;
      std::memcpy(dst + bpp * static_cast<size_t>(x), src + bpp * static_cast<size_t>(sx), bpp);
    }
  }
  for (int32_t y = 0; y < image.height; ++y) {
    std::memcpy(image.row<uint8_t>(y), temp.data() + rowBytes * static_cast<size_t>(y), rowBytes);
  }
}

namespace {

template <class T>
void reverseRow(T* p, int32_t width, int32_t channels) {
  for (int32_t i = 0, j = width - 1; i < j; ++i, --j) {
    for (int32_t c = 0; c < channels; ++c) {
      std::swap(p[i * channels + c], p[j * channels + c]);
    }
  }
}

template <class T>
void inPlaceT(const ImageView& image, bool horizontal, bool vertical) {
  const size_t rowBytes = static_cast<size_t>(image.width) * image.channels * sizeof(T);
  if (vertical) {
    for (int32_t top = 0, bottom = image.height - 1; top < bottom; ++top, --bottom) {
      std::swap_ranges(image.row<uint8_t>(top), image.row<uint8_t>(top) + rowBytes,
                       image.row<uint8_t>(bottom));
    }
  }
  if (horizontal) {
    for (int32_t y = 0; y < image.height; ++y) {
      if (image.channels == 1) {
        std::reverse(image.row<T>(y), image.row<T>(y) + image.width);
      } else {
        reverseRow(image.row<T>(y), image.width, image.channels);
      }
    }
  }
}

}  // namespace

void mirrorInPlace(const ImageView& image, bool horizontal, bool vertical) {
  if (!image.valid() || (!horizontal && !vertical)) {
    return;
  }
  if (image.wide()) {
    inPlaceT<uint16_t>(image, horizontal, vertical);
  } else {
    inPlaceT<uint8_t>(image, horizontal, vertical);
  }
}

}  // namespace nivexa::imaging::steps

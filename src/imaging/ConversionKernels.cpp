#include "imaging/ConversionKernels.h"

#include <algorithm>
#include <cstddef>

namespace nivexa::imaging {

namespace {

// Runs `pixel(dstPixel, srcPixel)` over the rectangle with the rows turned over.
template <typename Pixel>
void forEachFlipped(const KernelCall& call, Pixel pixel) {
  for (int32_t row = 0; row < call.height; ++row) {
    const size_t srcRow = static_cast<size_t>(call.y + call.height - 1 - row) * call.srcStride +
                          static_cast<size_t>(call.x) * call.srcBytesPerPixel;
    const size_t dstRow = static_cast<size_t>(call.dstY + row) * call.dstStride +
                          static_cast<size_t>(call.dstX) * call.dstBytesPerPixel;
    const uint8_t* src = call.src.data() + srcRow;
    uint8_t* dst = call.dst.data() + dstRow;
    for (int32_t column = 0; column < call.width; ++column) {
      pixel(dst, src);
      dst += call.dstBytesPerPixel;
      src += call.srcBytesPerPixel;
    }
  }
}

uint16_t sample16(const uint8_t* at) {
  return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

}  // namespace

void gray8ToBgr24Flipped(const KernelCall& call) {
  forEachFlipped(call, [](uint8_t* dst, const uint8_t* src) { dst[0] = dst[1] = dst[2] = src[0]; });
}

void gray16ToBgr24Flipped(const KernelCall& call) {
  forEachFlipped(call, [](uint8_t* dst, const uint8_t* src) {
    const auto gray = static_cast<uint8_t>(std::min(sample16(src) >> 4, 255));
    dst[0] = dst[1] = dst[2] = gray;
  });
}

void bgrToBgr24Flipped(const KernelCall& call) {
  forEachFlipped(call, [](uint8_t* dst, const uint8_t* src) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  });
}

void bgr16ToBgr24Flipped(const KernelCall& call) {
  forEachFlipped(call, [](uint8_t* dst, const uint8_t* src) {
    dst[0] = src[1];
    dst[1] = src[3];
    dst[2] = src[5];
  });
}

Kernel bgr24FlippedKernelFor(int32_t sourceBitsPerPixel) {
  switch (sourceBitsPerPixel) {
    case 8:
      return gray8ToBgr24Flipped;
    case 16:
      return gray16ToBgr24Flipped;
    case 24:
    case 32:
      return bgrToBgr24Flipped;
    case 48:
    case 64:
      return bgr16ToBgr24Flipped;
    default:
      return nullptr;
  }
}

}  // namespace nivexa::imaging

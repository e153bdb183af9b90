#include "imaging/ConversionKernels.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace nivexa::imaging {

namespace {

// Runs `pixel(dstPixel, srcPixel)` over the rectangle with the rows turned over.
template <typename Pixel>
void forEachFlipped(const KernelArgs& args, Pixel pixel) {
  const Rect& r = args.rect;
  for (int32_t y = r.top; y < r.bottom; ++y) {
    const uint8_t* src = args.src + static_cast<ptrdiff_t>(y) * args.srcStride +
                         static_cast<ptrdiff_t>(r.left) * args.srcBytesPerPixel;
    uint8_t* dst = args.dst +
                   static_cast<ptrdiff_t>(args.dstY + (r.bottom - 1 - y)) * args.dstStride +
                   static_cast<ptrdiff_t>(args.dstX) * args.dstBytesPerPixel;
    for (int32_t x = r.left; x < r.right; ++x) {
      pixel(dst, src);
      dst += args.dstBytesPerPixel;
      src += args.srcBytesPerPixel;
    }
  }
}

// A 16-bit sample's 12 significant bits on the 8-bit scale, limited so that nothing wraps.
uint8_t sample16As8(const uint8_t* at) {
  constexpr int kMax8 = 255;
  return static_cast<uint8_t>(std::min((at[0] | (at[1] << 8)) >> kSample16To8Shift, kMax8));
}

}  // namespace

void gray8ToBgr24Flipped(const KernelArgs& args) {
  forEachFlipped(args, [](uint8_t* dst, const uint8_t* src) { dst[0] = dst[1] = dst[2] = src[0]; });
}

void gray16ToBgr24Flipped(const KernelArgs& args) {
  forEachFlipped(
      args, [](uint8_t* dst, const uint8_t* src) { dst[0] = dst[1] = dst[2] = sample16As8(src); });
}

void bgrToBgr24Flipped(const KernelArgs& args) {
  if (args.srcBytesPerPixel == 3) {
    const Rect& r = args.rect;
    const size_t bytes = static_cast<size_t>(r.width()) * 3;
    for (int32_t y = r.top; y < r.bottom; ++y) {
      std::memcpy(args.dst +
                      static_cast<ptrdiff_t>(args.dstY + (r.bottom - 1 - y)) * args.dstStride +
                      static_cast<ptrdiff_t>(args.dstX) * 3,
                  args.src + static_cast<ptrdiff_t>(y) * args.srcStride +
                      static_cast<ptrdiff_t>(r.left) * 3,
                  bytes);
    }
    return;
  }
  forEachFlipped(args, [](uint8_t* dst, const uint8_t* src) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  });
}

void bgr16ToBgr24Flipped(const KernelArgs& args) {
  forEachFlipped(args, [](uint8_t* dst, const uint8_t* src) {
    dst[0] = sample16As8(src);
    dst[1] = sample16As8(src + 2);
    dst[2] = sample16As8(src + 4);
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

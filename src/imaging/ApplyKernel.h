#pragma once

#include <cstdint>

#include "imaging/DibImage.h"

namespace nivexa::imaging {

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;   // exclusive
  int32_t bottom = 0;  // exclusive
  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
};

// What a kernel is called with. `rect` is in source coordinates and already clipped so that
// every source pixel it names exists and lands inside the destination at
// (dstX + x - rect.left, dstY + y - rect.top). A flipped kernel writes source row y to
// destination row dstY + (rect.bottom - 1 - y), turning the block over.
struct KernelArgs {
  uint8_t* dst = nullptr;
  const uint8_t* src = nullptr;
  Rect rect;
  int32_t dstX = 0;
  int32_t dstY = 0;
  int32_t dstBytesPerPixel = 0;
  int32_t srcBytesPerPixel = 0;
  int32_t dstStride = 0;
  int32_t srcStride = 0;
  const void* params = nullptr;
};

using Kernel = void (*)(const KernelArgs& args);

// Clips the source rectangle (the whole source when sourceRect is null) against both bitmaps
// and runs the kernel once. Returns 0 without calling it when the clipped rectangle is empty or
// either bitmap has no pixels.
int ApplyKernel(DibImage& destination, Kernel kernel, const DibImage& source,
                const Rect* sourceRect, int32_t dstX, int32_t dstY, const void* params);

}  // namespace nivexa::imaging

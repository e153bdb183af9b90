#pragma once

#include <cstdint>
#include <span>

namespace nivexa::imaging {

// One run of a pixel kernel over a rectangle that has already been clipped against both
// bitmaps. Rows are addressed through the strides; row 0 of each buffer is its top row.
struct KernelCall {
  std::span<uint8_t> dst;
  std::span<const uint8_t> src;
  int32_t x = 0;  // source rectangle
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t dstX = 0;
  int32_t dstY = 0;
  int32_t dstBytesPerPixel = 0;
  int32_t srcBytesPerPixel = 0;
  int32_t dstStride = 0;
  int32_t srcStride = 0;
  const void* params = nullptr;
};

using Kernel = void (*)(const KernelCall& call);

}  // namespace nivexa::imaging

#include "imaging/ApplyKernel.h"

#include <algorithm>

namespace nivexa::imaging {

int ApplyKernel(DibImage& destination, Kernel kernel, const DibImage& source,
                const Rect* sourceRect, int32_t dstX, int32_t dstY, const void* params) {
  if (kernel == nullptr || !destination.valid() || !source.valid()) {
    return 0;
  }
  Rect r = sourceRect != nullptr ? *sourceRect : Rect{0, 0, source.width(), source.height()};
  // Against the source.
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, source.width());
  r.bottom = std::min(r.bottom, source.height());
  // A negative destination origin cuts the leading columns and rows of the source block.
  if (dstX < 0) {
    r.left -= dstX;
    dstX = 0;
  }
  if (dstY < 0) {
    r.top -= dstY;
    dstY = 0;
  }
  // Against the destination.
  r.right = std::min(r.right, r.left + (destination.width() - dstX));
  r.bottom = std::min(r.bottom, r.top + (destination.height() - dstY));
  if (r.empty()) {
    return 0;
  }
  KernelArgs args;
  args.dst = destination.bits();
  args.src = source.bits();
  args.rect = r;
  args.dstX = dstX;
  args.dstY = dstY;
  args.dstBytesPerPixel = destination.bytesPerPixel();
  args.srcBytesPerPixel = source.bytesPerPixel();
  args.dstStride = destination.stride();
  args.srcStride = source.stride();
  args.params = params;
  kernel(args);
  return 1;
}

}  // namespace nivexa::imaging

#include "imaging/steps/RowSpacing.h"

#include <cstring>

namespace nivexa::imaging::steps {

void respaceRows(DibImage& raw) {
  const size_t packed = static_cast<size_t>(raw.width()) * static_cast<size_t>(raw.bytesPerPixel());
  const size_t stride = static_cast<size_t>(raw.stride());
  if (!raw.valid() || packed == stride) {
    return;
  }
  uint8_t* base = raw.bits();
  // Row 0 is already in place; memmove copies overlapping ranges as if back to front.
  for (int32_t y = raw.height() - 1; y > 0; --y) {
    std::memmove(base + y * stride, base + y * packed, packed);
  }
}

}  // namespace nivexa::imaging::steps

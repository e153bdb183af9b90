#include "imaging/ProcessFrame.h"

#include <cstring>

#include "imaging/steps/RowSpacing.h"

namespace nivexa::imaging {

int32_t colorModeBits(ColorMode mode) {
  switch (mode) {
    case ColorMode::Mono8:
      return 8;
    case ColorMode::Mono16:
      return 16;
    case ColorMode::Bgr24:
      return 24;
    case ColorMode::Bgr32:
      return 32;
    case ColorMode::Bgr48:
      return 48;
    case ColorMode::Bgr64:
      return 64;
  }
  return 0;
}

int32_t colorModeFromBits(int32_t bits) {
  switch (bits) {
    case 8:
      return 0;
    case 16:
      return 1;
    case 24:
      return 2;
    case 32:
      return 3;
    case 48:
      return 4;
    case 64:
      return 5;
    default:
      return -1;
  }
}

DibImage& FrameBitmaps::rawFor(ColorMode mode) {
  switch (mode) {
    case ColorMode::Mono16:
    case ColorMode::Bgr48:
    case ColorMode::Bgr64:
      return raw16;
    default:
      return raw8;
  }
}

DibImage& FrameBitmaps::outputFor(ColorMode mode) {
  switch (mode) {
    case ColorMode::Mono8:
      return raw8;
    case ColorMode::Mono16:
      return raw16;
    case ColorMode::Bgr24:
      return bgr24;
    case ColorMode::Bgr32:
      return bgr32;
    case ColorMode::Bgr48:
      return bgr48;
    case ColorMode::Bgr64:
      return bgr64;
  }
  return raw8;
}

int createFrameBitmaps(FrameBitmaps& b, ColorMode mode, int32_t width, int32_t height) {
  const int m = static_cast<int>(mode);
  if (m <= 3 && !b.raw8.Create(width, height, 8)) {
    return 0;
  }
  if ((m == 1 || m == 4 || m == 5) && !b.raw16.Create(width, height, 16)) {
    return 0;
  }
  // Mode 0 keeps a 24-bit bitmap too: gray mode 2 demosaics into it before reducing to gray.
  if (m != 1 && !b.bgr24.Create(width, height, 24)) {
    return 0;
  }
  if (m == 3 && !b.bgr32.Create(width, height, 32)) {
    return 0;
  }
  if (m == 4 && !b.bgr48.Create(width, height, 48)) {
    return 0;
  }
  if (m == 5 && !b.bgr64.Create(width, height, 64)) {
    return 0;
  }
  return b.work.CopyFormat(b.outputFor(mode));
}

void processFrame(ColorMode mode, FrameBitmaps& bitmaps, ProcessingParameters& params,
                  PipelineHost& host) {
  (void)params;
  (void)host;
  DibImage& raw = bitmaps.rawFor(mode);
  if (!raw.valid()) {
    return;
  }
  steps::respaceRows(raw);
}

}  // namespace nivexa::imaging

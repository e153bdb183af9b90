#pragma once

#include <cstdint>

namespace nivexa::imaging::steps::avx2 {

// One output row of the demosaic, three samples a pixel, from column 2 up to the column the
// call returns (exclusive): the columns whose neighbours all lie inside the row, so no border
// folding is needed; the caller does the rest. The kernels need rows at least this wide and gain
// factors at most these.
constexpr int32_t kMinWidth8 = 35;       // one vector of 32 pixels between the borders
constexpr int32_t kMinWidth16 = 19;      // one of 16
constexpr uint32_t kMaxFactor8 = 32767;  // 2 x factor fits a 16-bit lane
constexpr uint32_t kMaxFactor16 = 4095;  // sum x factor fits a 32-bit lane

template <class T>
struct RowInput {
  const T* nearRed;  // the raw row nearer the output row holding red, and the farther one
  const T* farRed;
  const T* nearBlue;
  const T* farBlue;
  const T* cur;   // raw row y
  const T* prev;  // raw row y - 1
  // Column parity of red and blue; whether even columns of this row are green sites.
  int32_t redX, blueX, greenEven;
};

// `scratch` holds 2 x (width / 2 + 2) sums of the vertical pass.
int32_t interiorRow8(uint8_t* dst, int32_t width, const RowInput<uint8_t>& in, uint32_t redFactor,
                     uint32_t blueFactor, uint16_t* scratch);
int32_t interiorRow16(uint16_t* dst, int32_t width, const RowInput<uint16_t>& in,
                      uint32_t redFactor, uint32_t blueFactor, uint32_t* scratch);

}  // namespace nivexa::imaging::steps::avx2

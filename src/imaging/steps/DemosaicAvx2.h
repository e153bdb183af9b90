#pragma once

#include <cstdint>

namespace nivexa::imaging::steps::avx2 {

// One output row of the demosaic, three samples a pixel, columns 2 .. width - 2: the columns
// whose neighbours all lie inside the row, so no border folding is needed. `vr` / `vb` are the
// vertical red / blue sums of this row per column (3 x the nearer row + the farther one); `cur`
// and `prev` the raw rows y and y - 1; rx, bx the column parity of red and blue, gx whether even
// columns of this row are green sites; rf, bf the gain factors. Callers keep to the limits below.
constexpr int32_t kMinWidth8 = 19;       // one vector of 16 pixels fits between the borders
constexpr int32_t kMinWidth16 = 11;      // one of 8
constexpr uint32_t kMaxFactor8 = 32767;  // 2 x factor fits a 16-bit lane
constexpr uint32_t kMaxFactor16 = 4095;  // sum x factor fits a 32-bit lane

struct RowSites {
  int32_t rx, bx, gx;
};

void interiorRow8(uint8_t* dst, int32_t width, const uint16_t* vr, const uint16_t* vb,
                  const uint8_t* cur, const uint8_t* prev, RowSites sites, uint32_t rf,
                  uint32_t bf);
void interiorRow16(uint16_t* dst, int32_t width, const uint32_t* vr, const uint32_t* vb,
                   const uint16_t* cur, const uint16_t* prev, RowSites sites, uint32_t rf,
                   uint32_t bf);

// v[x] = 3 x nearRow[x] + farRow[x] for the whole row.
void verticalSums8(uint16_t* v, const uint8_t* nearRow, const uint8_t* farRow, int32_t width);
void verticalSums16(uint32_t* v, const uint16_t* nearRow, const uint16_t* farRow, int32_t width);

}  // namespace nivexa::imaging::steps::avx2

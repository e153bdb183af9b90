#pragma once

#include <array>
#include <cstdint>

#include "imaging/DibImage.h"

namespace nivexa::output {

inline constexpr uint32_t kBmpFileHeaderBytes = 14;

// Offset of the pixel rows: after the file and info headers, and the palette for depths <= 8.
uint32_t bmpDataOffset(const imaging::DibImage& image);

// The 14-byte BITMAPFILEHEADER: "BM", file size, two reserved words, data offset.
std::array<uint8_t, kBmpFileHeaderBytes> bmpFileHeader(const imaging::DibImage& image);

}  // namespace nivexa::output

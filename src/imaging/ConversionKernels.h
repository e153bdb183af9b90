#pragma once

#include "imaging/Kernel.h"

// Format conversions between bitmap depths. A flipped kernel writes destination row i of the
// rectangle from source row height − 1 − i, turning top-first memory into bottom-up rows.
namespace nivexa::imaging {

// 8-bit gray → 24-bit gray (blue = green = red), flipped.
void gray8ToBgr24Flipped(const KernelCall& call);
// 16-bit gray with 12 significant bits → 24-bit gray: value ÷ 16, at most 255, flipped.
void gray16ToBgr24Flipped(const KernelCall& call);
// 24- or 32-bit colour (source bytes per pixel 3 or 4) → blue, green, red, flipped.
void bgrToBgr24Flipped(const KernelCall& call);
// 48- or 64-bit colour (source bytes per pixel 6 or 8) → each sample ÷ 256, flipped.
void bgr16ToBgr24Flipped(const KernelCall& call);

// The flipped 24-bit conversion for a source of the given depth, or nullptr.
Kernel bgr24FlippedKernelFor(int32_t sourceBitsPerPixel);

}  // namespace nivexa::imaging

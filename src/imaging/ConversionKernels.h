#pragma once

#include "imaging/ApplyKernel.h"

// Format conversions between bitmap depths, run through ApplyKernel. A flipped kernel turns the
// block over: top-first memory becomes bottom-up rows as files and the OS expect them.
namespace nivexa::imaging {

// 8-bit gray → 24-bit gray (blue = green = red), flipped.
void gray8ToBgr24Flipped(const KernelArgs& args);
// 16-bit gray with 12 significant bits → 24-bit gray: value ÷ 16, at most 255, flipped.
void gray16ToBgr24Flipped(const KernelArgs& args);
// 24- or 32-bit colour (source bytes per pixel 3 or 4) → blue, green, red, flipped.
void bgrToBgr24Flipped(const KernelArgs& args);
// 48- or 64-bit colour (source bytes per pixel 6 or 8) → each sample ÷ 16, at most 255, flipped.
void bgr16ToBgr24Flipped(const KernelArgs& args);

// The flipped 24-bit conversion for a source of the given depth, or nullptr.
Kernel bgr24FlippedKernelFor(int32_t sourceBitsPerPixel);

}  // namespace nivexa::imaging

#pragma once

#include <array>
#include <cstdint>

#include "imaging/steps/ImageView.h"

namespace nivexa::imaging::steps {

// Hue shift of a degrees count on the 1530-step colour circle (six sextants of 255).
int32_t hueShift(int32_t hueDegrees);

// The chroma scale for a saturation: S[i] = (i (256 + saturation) 256 + 0x8000) >> 16.
std::array<int32_t, 256> chromaScale(int32_t saturation);

// One pixel: red, green, blue in, the packed word 0x00RRGGBB out.
uint32_t hueSaturationPixel(int32_t red, int32_t green, int32_t blue, int32_t shift,
                            const std::array<int32_t, 256>& scale);

// Rotates hue and scales saturation of a 24/32/48/64-bit image at 8-bit precision (16-bit
// samples are taken >> 8 and put back << 8, and the fourth sample of a 64-bit pixel becomes 0).
// The only state is built per call or is constant, so any number of cameras may run it at once.
void hueSaturation(const ImageView& image, int32_t hue, int32_t saturation);

}  // namespace nivexa::imaging::steps

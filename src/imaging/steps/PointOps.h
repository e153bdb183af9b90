#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/steps/ImageView.h"

namespace nivexa::imaging::steps {

// The per-sample arithmetic of gamma (x100, 100 = off), contrast (0 = off) and brightness
// (0 = off), for a sample v of the bitmap's depth.
uint16_t gammaValue(int32_t v, int32_t gamma, bool wide);
uint16_t contrastValue(int32_t v, int32_t contrast, bool wide);
uint16_t brightnessValue(int32_t v, int32_t brightness, bool wide);

// The brightness multiplier in single precision: 1 + 10 b / 255 above 0, 1 - |b| / 255 below.
float brightnessFactor(int32_t brightness);

// 8-bit brightness in integers: min(v x whole + (v x fraction) >> 16, 255). `exact` says the
// factor equals the single-precision product for all 256 samples, so a kernel using it gives
// the reference's result whatever rounding the float product makes; otherwise it is unusable.
struct ByteScale {
  bool exact = false;
  uint16_t whole = 0, fraction = 0;
};
// Found once per thread for the last brightness asked.
const ByteScale& byteScale(int32_t brightness);

// 16-bit brightness in integers on a sample first cut to `inputLimit`:
// min(c x whole + (c x fraction) >> 16, 4095). `exact` as for ByteScale, over all 65536 samples.
struct WordScale {
  bool exact = false;
  uint16_t inputLimit = 0, whole = 0, fraction = 0;
};
uint16_t wordScaled(uint16_t v, const WordScale& s);
// Found once per thread for the last brightness asked.
const WordScale& wordScale(int32_t brightness);

// Brightness by its arithmetic (which vectorises, unlike a table) on rows [y0, y1), colour
// samples only; the same values as brightnessReference.
void brightnessRows(const ImageView& image, int32_t brightness, int32_t y0, int32_t y1);

// References: every colour sample replaced by the value computed straight from the formula.
void gammaReference(const ImageView& image, int32_t gamma);
void contrastReference(const ImageView& image, int32_t contrast);
void brightnessReference(const ImageView& image, int32_t brightness);

// A table over every sample value of a depth (256 or 65536 entries).
using SampleTable = std::vector<uint16_t>;

// The combined table of gamma, then contrast, then brightness, each left out at its off value;
// empty when all three are off. Cached per thread for the last parameters asked, so building it
// costs nothing on a steady stream.
const SampleTable& pointTable(int32_t gamma, int32_t contrast, int32_t brightness, bool wide);

// Replaces every colour sample (the fourth sample of a pixel untouched) by its table entry.
void applyTable(const ImageView& image, std::span<const uint16_t> table);
// The same on rows [y0, y1).
void applyTableRows(const ImageView& image, std::span<const uint16_t> table, int32_t y0,
                    int32_t y1);

}  // namespace nivexa::imaging::steps

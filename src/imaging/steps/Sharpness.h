#pragma once

#include <cstdint>
#include <span>

#include "imaging/steps/ImageView.h"
#include "imaging/steps/StepScratch.h"

namespace nivexa::imaging::steps {

// Unsharp mask of strength 1..30 on the output; `work` has the output's format and receives a
// copy of it first. Interior samples (two pixels in from every edge) become
// v + s * (v - mean) / 10 against the 4 x 4 box mean over rows and columns -2..+1, clamped; the
// border keeps its values. Frames narrower or lower than 5 pixels have no interior.
void sharpnessReference(const ImageView& output, const ImageView& work, int32_t strength);

// Copies the output into the work copy (rows [y0, y1)); the fast path reads only the copy.
void copyToWork(const ImageView& output, const ImageView& work, int32_t y0, int32_t y1);

// The same result for output rows [y0, y1), read from a work copy that already holds the whole
// frame. A non-zero brightness is applied to every colour sample of those rows (border
// included) in the same pass, as the brightness step after it would. Row buffers come from
// `scratch` when given.
void sharpenRows(const ImageView& output, const ImageView& work, int32_t strength,
                 int32_t brightness, int32_t y0, int32_t y1, StepScratch* scratch = nullptr);

}  // namespace nivexa::imaging::steps

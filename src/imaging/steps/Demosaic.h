#pragma once

#include <cstdint>

#include "imaging/steps/ImageView.h"
#include "imaging/steps/StepScratch.h"

namespace nivexa::imaging::steps {

// BayerPattern 0..3 as the demosaic reads the raw bitmap, after the mirrors have turned it
// over: a vertical mirror swaps 0 with 1 and 2 with 3, then a horizontal one 0 with 2 and 1
// with 3.
int32_t effectiveBayerPattern(int32_t pattern, bool mirrorH, bool mirrorV);

// Where red and blue sit in the 2 x 2 cell of a pattern (column, row parity).
struct BayerSites {
  int32_t redX, redY, blueX, blueY;
};
BayerSites bayerSites(int32_t pattern);

struct WhiteBalanceGains {
  int32_t red = 100, green = 100, blue = 100;
};

// Automatic white balance over the whole raw frame by the effective pattern. Returns false and
// leaves `gains` alone when a colour has no samples or a mean of 0 (a dark or tiny frame gives
// no usable ratio); otherwise red and blue follow the means and all three are at most 400.
bool measureWhiteBalance(const ImageView& raw, int32_t pattern, WhiteBalanceGains& gains);

// Bilinear reconstruction of 8-bit raw into 24/32-bit output, or 16-bit raw into 48/64-bit,
// at the point half a pixel up and left of each pixel, red and blue scaled by their gains in
// percent; the fourth sample of 32/64-bit pixels is untouched. Neighbours beyond an edge are
// taken four rows or columns further in (the same colour phase); frames smaller than 4 pixels
// fold further so nothing outside the frame is read.
void demosaicReference(const ImageView& raw, const ImageView& out, int32_t pattern, int32_t redGain,
                       int32_t blueGain);
// The same result, rows [y0, y1) of the output; row buffers come from `scratch` when given.
void demosaicRows(const ImageView& raw, const ImageView& out, int32_t pattern, int32_t redGain,
                  int32_t blueGain, int32_t y0, int32_t y1, StepScratch* scratch = nullptr);

// Whether raw and output fit each other for the demosaic (same size, depths 8->24/32, 16->48/64).
bool demosaicFormatsMatch(const ImageView& raw, const ImageView& out);

}  // namespace nivexa::imaging::steps

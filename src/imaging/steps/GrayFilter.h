#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "imaging/ProcessingParameters.h"
#include "imaging/steps/ImageView.h"
#include "imaging/steps/PointOps.h"

namespace nivexa::imaging::steps {

// The gray filter's own naming of the 2 x 2 sites (GraySite: R, G1, G2, B) for a BayerPattern.
int32_t graySiteClass(int32_t pattern, int32_t x, int32_t y);

struct GrayGains {
  std::array<int32_t, 4> gain{128, 128, 128, 128};  // indexed by GraySite, 128 = unity
  std::array<int32_t, 4> offset{0, 0, 0, 0};
  bool operator==(const GrayGains&) const = default;
};

// Unity gains with no offset change nothing, so the step need not run.
bool grayGainsAreNeutral(const GrayGains& g);

// offset + gain x v / 128 (truncated towards zero), clamped to 0..255, or 0..4095 for 16-bit.
int32_t grayValue(int32_t v, int32_t gain, int32_t offset, bool wide);

// Per-site gain and offset over a raw 8- or 16-bit bitmap, straight from the arithmetic.
void grayFilterReference(const ImageView& raw, int32_t pattern, const GrayGains& gains);

// One table per site class, each the gray value followed by gamma, contrast and brightness
// (each left out at its off value). Cached per thread for the last parameters asked.
const std::array<SampleTable, 4>& graySiteTables(const GrayGains& gains, bool wide, int32_t gamma,
                                                 int32_t contrast, int32_t brightness);
// Maps rows [y0, y1) of a raw bitmap through the table of each sample's site class.
void applySiteTables(const ImageView& raw, int32_t pattern,
                     const std::array<SampleTable, 4>& tables, int32_t y0, int32_t y1);

// The gray filter alone on rows [y0, y1): by its arithmetic in vectors where the gains allow,
// otherwise through the site tables. The same values as grayFilterReference.
void applyGrayRows(const ImageView& raw, int32_t pattern, const GrayGains& gains, int32_t y0,
                   int32_t y1);

// One-shot automatic gray gain: the means of the four classes over the whole frame, counting
// samples strictly between 0 and full scale (255, or 4095 for 16-bit). G1 becomes 128 and the
// others follow its mean. Returns false, leaving `gains` alone, when a class has no such sample.
bool measureGrayGains(const ImageView& raw, int32_t pattern, GrayGains& gains);

// Gray mode 2: luminance (30 R + 59 G + 11 B) / 100 of a 24-bit bitmap into an 8-bit one.
void luminanceFromBgr(const ImageView& bgr, const ImageView& gray);

}  // namespace nivexa::imaging::steps

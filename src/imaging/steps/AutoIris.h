#pragma once

#include <array>
#include <cstdint>

#include "imaging/PipelineHost.h"
#include "imaging/steps/ImageView.h"

namespace nivexa::imaging::steps {

struct MeasureRect {
  int32_t left, top, right, bottom;  // right and bottom exclusive
};

// The five measuring rectangles (corners at fixed fractions of the frame, truncated). On frames
// so small that a rectangle would hold no pixel it keeps one pixel at its corner, so every
// mean is over at least one sample.
std::array<MeasureRect, 5> measureRects(int32_t width, int32_t height);

// Integer mean of a rectangle on an 8-bit scale (16-bit samples taken >> 4).
int32_t rectMean(const ImageView& raw, const MeasureRect& r);

// The correction factor from the five means, in hundredths (85 = 0.85); nothing is to change
// when 60 < f < 120.
int32_t exposureFactorPercent(const std::array<int32_t, 5>& means);

// Automatic exposure (mode 1) or gain (mode 2) from one raw 8/16-bit frame through the host.
void autoIris(const ImageView& raw, int32_t mode, PipelineHost& host);

}  // namespace nivexa::imaging::steps

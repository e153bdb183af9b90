#pragma once

// The judgements of the calibration page, free of any toolkit: when the cooled sensor has
// settled, and how even an image of an evenly lit scene is.

#include <cstdint>
#include <span>

#include "ImageMath.h"

namespace nivexa::viewer {

struct TemperatureSample {
  double seconds;  // on any steady clock
  double celsius;
};

// How long the temperature must stay within the tolerance to count as settled, and how close.
inline constexpr double kSettleWindowSeconds = 30.0;
inline constexpr double kSettleToleranceCelsius = 0.3;

// True when the samples cover at least the last windowSeconds and every sample in that window
// lies within toleranceCelsius of the others.
bool settled(std::span<const TemperatureSample> samples,
             double windowSeconds = kSettleWindowSeconds,
             double toleranceCelsius = kSettleToleranceCelsius);

// Spread of an evenly lit image: the standard deviation of its pixels over their mean (0 for a
// perfectly even image), over the middle of the frame where the optics light it fully.
struct Evenness {
  double mean = 0.0;
  double relativeSpread = 0.0;
};
Evenness evennessOf(const FrameView& frame);

}  // namespace nivexa::viewer

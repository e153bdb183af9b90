#pragma once

#include <cstdint>

// The values the camera object's setters accept for the parameters it keeps itself. Stored
// settings are checked against the same ranges, so a value that a setter would refuse is not
// taken from the store either.
namespace nivexa::settings {

struct IntRange {
  int32_t min;
  int32_t max;
  constexpr bool contains(int32_t value) const { return value >= min && value <= max; }
};

inline constexpr IntRange kBrightnessRange{-255, 255};
inline constexpr IntRange kContrastRange{-127, 127};
inline constexpr IntRange kHueRange{-360, 360};
inline constexpr IntRange kSaturationRange{-255, 255};
inline constexpr IntRange kSharpnessRange{0, 30};
inline constexpr IntRange kBayerGainRange{0, 400};
inline constexpr IntRange kGammaRange{0, 200};
inline constexpr IntRange kBayerModeRange{0, 3};
inline constexpr IntRange kGrayModeRange{0, 2};
inline constexpr IntRange kGrayGainRange{0, 255};
inline constexpr IntRange kGrayOffsetRange{-255, 255};
inline constexpr IntRange kAutoIrisRange{0, 2};
// This family's sensors have two gain modes: 0 high gain, 1 low gain.
inline constexpr IntRange kGainModeRange{0, 1};
// Exposure in ticks of 100 microseconds.
inline constexpr IntRange kExposureTicksRange{1, 20000};
inline constexpr IntRange kColorModeRange{0, 5};
inline constexpr IntRange kSubSampleRange{0, 1};
inline constexpr IntRange kWaitTimeRange{0, INT32_MAX};

}  // namespace nivexa::settings

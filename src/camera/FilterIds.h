#pragma once

#include <cstdint>

namespace nivexa::camera {

// The numbered parameter space of the filter-value functions.
enum FilterId : int32_t {
  kFilterBrightness = 1,
  kFilterContrast = 2,
  kFilterHue = 3,
  kFilterSaturation = 4,
  kFilterSharpness = 5,
  kFilterBayerGainRGB = 6,
  kFilterBayerGainRed = 7,
  kFilterBayerGainGreen = 8,
  kFilterBayerGainBlue = 9,
  kFilterBayerGainAuto = 10,
  kFilterGamma = 11,
  kFilterBayerMode = 12,
  kFilterGlobalGain = 13,
  kFilterColorGainRed = 14,
  kFilterColorGainGreen1 = 15,
  kFilterColorGainGreen2 = 16,
  kFilterColorGainBlue = 17,
  kFilterExposureTime = 18,
  kFilterGrayMode = 19,
  kFilterGrayGainR = 20,
  kFilterGrayGainG1 = 21,
  kFilterGrayGainG2 = 22,
  kFilterGrayGainB = 23,
  kFilterGrayOffsetR = 24,
  kFilterGrayOffsetG1 = 25,
  kFilterGrayOffsetG2 = 26,
  kFilterGrayOffsetB = 27,
  kFilterAutoGrayGain = 28,
  kFilterChannelGain1 = 29,    // channels 1..4 at 29..32
  kFilterChannelOffset1 = 33,  // channels 1..4 at 33..36
  kFilterPeltier = 100,
  kFilterTemperature = 101,
  kFilterDotFilter = 102,
  kFilterMaskFilter = 103,
  kFilterGainMode = 104,
  kFilterFeatureSwitch = 105,
  kFilterBlackLevel = 106,
};

inline constexpr int32_t kChannelCount = 4;

}  // namespace nivexa::camera

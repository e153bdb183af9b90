#include "settings/FilterSettings.h"

#include "settings/Layout.h"
#include "settings/StoredValues.h"

namespace nivexa::settings {

namespace {

using Field = StoredField<FilterSettings>;

constexpr std::array<Field, 10> kFields = {{
    {"Brightness", &FilterSettings::brightness, kBrightnessRange},
    {"Contrast", &FilterSettings::contrast, kContrastRange},
    {"Hue", &FilterSettings::hue, kHueRange},
    {"Saturation", &FilterSettings::saturation, kSaturationRange},
    {"Sharpness", &FilterSettings::sharpness, kSharpnessRange},
    {"R_Gain", &FilterSettings::redGain, kBayerGainRange},
    {"G_Gain", &FilterSettings::greenGain, kBayerGainRange},
    {"B_Gain", &FilterSettings::blueGain, kBayerGainRange},
    {"Gamma", &FilterSettings::gamma, kGammaRange},
    {"BayerMode", &FilterSettings::bayerMode, kBayerModeRange},
}};

std::string groupPath(int32_t position) {
  return cameraKeyPath(position) + "\\" + std::string(kFilterKey);
}

}  // namespace

int loadFilterSettings(int32_t position, FilterSettings& settings) {
  return loadGroup(groupPath(position), kFields, settings);
}

int saveFilterSettings(int32_t position, const FilterSettings& settings) {
  return saveGroup(groupPath(position), kFields, settings);
}

}  // namespace nivexa::settings

#include "settings/GraySettings.h"

#include "settings/Layout.h"
#include "settings/StoredValues.h"

namespace nivexa::settings {

namespace {

using Field = StoredField<GraySettings>;

constexpr std::array<Field, 9> kFields = {{
    {"Mode", &GraySettings::mode, kGrayModeRange},
    {"GainR1", &GraySettings::gainR, kGrayGainRange},
    {"GainG1", &GraySettings::gainG1, kGrayGainRange},
    {"GainG2", &GraySettings::gainG2, kGrayGainRange},
    {"GainB1", &GraySettings::gainB, kGrayGainRange},
    {"OffsetR1", &GraySettings::offsetR, kGrayOffsetRange},
    {"OffsetG1", &GraySettings::offsetG1, kGrayOffsetRange},
    {"OffsetG2", &GraySettings::offsetG2, kGrayOffsetRange},
    {"OffsetB1", &GraySettings::offsetB, kGrayOffsetRange},
}};

std::string groupPath(int32_t position) {
  return cameraKeyPath(position) + "\\" + std::string(kGrayKey);
}

}  // namespace

int loadGraySettings(int32_t position, GraySettings& settings) {
  return loadGroup(groupPath(position), kFields, settings);
}

int saveGraySettings(int32_t position, const GraySettings& settings) {
  return saveGroup(groupPath(position), kFields, settings);
}

}  // namespace nivexa::settings

#include "settings/GainSettings.h"

#include <cmath>

#include "settings/Layout.h"
#include "settings/StoredValues.h"

namespace nivexa::settings {

namespace {

constexpr std::string_view kGlobal = "Global";
constexpr std::string_view kColourGreen1 = "ColorG1";
constexpr std::string_view kColourRed = "ColorR";
constexpr std::string_view kColourBlue = "ColorB";
constexpr std::string_view kColourGreen2 = "ColorG2";
constexpr std::string_view kExposure = "Exposure";
constexpr std::string_view kMirrorV = "V_Mirror";
constexpr std::string_view kMirrorH = "H_Mirror";
constexpr std::string_view kAutoIris = "AutoIris";
constexpr std::string_view kGainMode = "GainMode";
constexpr std::string_view kBlackLevel = "BlackLevel";
constexpr std::string_view kExposureSeconds = "ExposureEx";

std::string groupPath(int32_t position) {
  return cameraKeyPath(position) + "\\" + std::string(kGainKey);
}

auto within(const std::optional<IntRange>& range) {
  return [range](int32_t value) { return !range || range->contains(value); };
}

void loadMirror(const platform::RegistryKey& key, std::string_view name, int32_t& field) {
  if (const auto value = readAccepted(key, name, [](int32_t) { return true; })) {
    field = *value != 0 ? 1 : 0;
  }
}

void loadSeconds(const platform::RegistryKey& key, const std::optional<SecondsRange>& range,
                 double& field) {
  const auto bytes = key.queryBinary(kExposureSeconds);
  if (!bytes) {
    return;
  }
  // Taken out of the optional once: GCC 12 at -Os warns falsely that an optional built in a
  // conditional expression may be read uninitialised.
  const std::optional<double> decoded = decodeDouble(*bytes);
  if (!decoded) {
    return;
  }
  const double seconds = *decoded;
  if (!std::isfinite(seconds) || seconds < 0.0) {
    return;
  }
  if (range && (seconds < range->min || seconds > range->max)) {
    return;
  }
  field = seconds;
}

}  // namespace

int loadGainSettings(int32_t position, GainSettings& settings, const GainDefaults& defaults,
                     const GainLimits& limits) {
  const auto key = platform::RegistryKey::open(groupPath(position));
  if (!key) {
    settings.globalGain = defaults.globalGain;
    settings.colourGainGreen1 = defaults.colourGain;
    settings.colourGainRed = defaults.colourGain;
    settings.colourGainBlue = defaults.colourGain;
    settings.colourGainGreen2 = defaults.colourGain;
    settings.exposureTicks = defaults.exposureTicks;
    settings.mirrorV = defaults.mirrorV;
    settings.mirrorH = defaults.mirrorH;
    settings.autoIris = 0;
    settings.gainMode = 0;
    settings.blackLevel = defaults.blackLevel;
    if (defaults.exposureSeconds) {
      settings.exposureSeconds = *defaults.exposureSeconds;
    }
    return 0;
  }
  loadInto(*key, kGlobal, settings.globalGain, within(limits.globalGain));
  loadInto(*key, kColourGreen1, settings.colourGainGreen1, within(limits.colourGain));
  loadInto(*key, kColourRed, settings.colourGainRed, within(limits.colourGain));
  loadInto(*key, kColourBlue, settings.colourGainBlue, within(limits.colourGain));
  loadInto(*key, kColourGreen2, settings.colourGainGreen2, within(limits.colourGain));
  loadInto(*key, kExposure, settings.exposureTicks, [&limits](int32_t ticks) {
    return kExposureTicksRange.contains(ticks) && within(limits.exposureTicks)(ticks);
  });
  loadMirror(*key, kMirrorV, settings.mirrorV);
  loadMirror(*key, kMirrorH, settings.mirrorH);
  loadInto(*key, kAutoIris, settings.autoIris, within(kAutoIrisRange));
  loadInto(*key, kGainMode, settings.gainMode, within(kGainModeRange));
  loadInto(*key, kBlackLevel, settings.blackLevel, within(limits.blackLevel));
  loadSeconds(*key, limits.exposureSeconds, settings.exposureSeconds);
  return 1;
}

int saveGainSettings(int32_t position, const GainSettings& settings) {
  platform::RegistryChanges changes;
  const std::string path = groupPath(position);
  changes.createKey(path);
  changes.setDword(path, kGlobal, toDword(settings.globalGain));
  changes.setDword(path, kColourGreen1, toDword(settings.colourGainGreen1));
  changes.setDword(path, kColourRed, toDword(settings.colourGainRed));
  changes.setDword(path, kColourBlue, toDword(settings.colourGainBlue));
  changes.setDword(path, kColourGreen2, toDword(settings.colourGainGreen2));
  changes.setDword(path, kExposure, toDword(settings.exposureTicks));
  changes.setDword(path, kMirrorV, toDword(settings.mirrorV));
  changes.setDword(path, kMirrorH, toDword(settings.mirrorH));
  changes.setDword(path, kAutoIris, toDword(settings.autoIris));
  changes.setDword(path, kGainMode, toDword(settings.gainMode));
  changes.setDword(path, kBlackLevel, toDword(settings.blackLevel));
  const auto seconds = encodeDouble(settings.exposureSeconds);
  changes.setBinary(path, kExposureSeconds, seconds);
  return changes.apply() ? 1 : 0;
}

}  // namespace nivexa::settings

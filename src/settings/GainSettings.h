#pragma once

#include <cstdint>
#include <optional>

#include "settings/ParameterRanges.h"

namespace nivexa::settings {

// The analog settings of the "Gain" group. The colour gains are those of filter IDs 15, 14, 17
// and 16, in the order they are stored and applied.
struct GainSettings {
  int32_t globalGain = 0;
  int32_t colourGainGreen1 = 0;
  int32_t colourGainRed = 0;
  int32_t colourGainBlue = 0;
  int32_t colourGainGreen2 = 0;
  int32_t exposureTicks = 0;
  int32_t mirrorV = 0;
  int32_t mirrorH = 0;
  int32_t autoIris = 0;
  int32_t gainMode = 0;
  int32_t blackLevel = 0;
  double exposureSeconds = 0.0;
};

// What the engine starts from when nothing is stored.
struct GainDefaults {
  int32_t globalGain = 0;
  int32_t colourGain = 0;
  int32_t exposureTicks = 0;
  int32_t mirrorV = 0;
  int32_t mirrorH = 0;
  int32_t blackLevel = 0;
  std::optional<double> exposureSeconds;  // only when the engine works in seconds
};

struct SecondsRange {
  double min;
  double max;
};

// The engine's ranges for the values it checks. Leave a range empty when the engine cannot tell
// (no device open): the stored value is then taken as it is and checked at the load that
// follows the opening of a device.
struct GainLimits {
  std::optional<IntRange> globalGain;
  std::optional<IntRange> colourGain;
  std::optional<IntRange> exposureTicks;
  std::optional<IntRange> blackLevel;
  std::optional<SecondsRange> exposureSeconds;
};

// Loads the "Gain" group of a camera position. With the key present each stored value that its
// setter would accept replaces its field (mirror flags become 0 or 1, as their setters store
// them), and a missing or refused value leaves the field as it was. Without the key the fields
// take the engine's defaults, auto-iris and gain mode 0. Returns 1 when the key was there.
int loadGainSettings(int32_t position, GainSettings& settings, const GainDefaults& defaults,
                     const GainLimits& limits);

// Writes the whole group, "ExposureEx" as 8 bytes; 0 when the store cannot be written.
int saveGainSettings(int32_t position, const GainSettings& settings);

}  // namespace nivexa::settings

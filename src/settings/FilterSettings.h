#pragma once

#include <cstdint>

namespace nivexa::settings {

// The image-processing values of the "Filter" group (filter IDs in the comments).
struct FilterSettings {
  int32_t brightness = 0;   // 1
  int32_t contrast = 0;     // 2
  int32_t hue = 0;          // 3
  int32_t saturation = 0;   // 4
  int32_t sharpness = 0;    // 5
  int32_t redGain = 100;    // 7
  int32_t greenGain = 100;  // 8
  int32_t blueGain = 100;   // 9
  int32_t gamma = 100;      // 11
  int32_t bayerMode = 3;    // 12
  // Not stored, but reset with the defaults when nothing is stored: automatic white balance (10)
  // and the one-shot automatic gray gain (28).
  int32_t autoWhiteBalance = 0;
  int32_t autoGrayOnce = 0;
};

// Loads the "Filter" group of a camera position. With the key present each stored value that
// the setter of its filter ID would accept replaces its field, and a missing or refused value
// leaves the field as it was; without the key every field takes its default. Returns 1 when the
// key was there, else 0.
int loadFilterSettings(int32_t position, FilterSettings& settings);

// Writes every stored value of the group (creating the keys); 0 when the store cannot be
// written.
int saveFilterSettings(int32_t position, const FilterSettings& settings);

}  // namespace nivexa::settings

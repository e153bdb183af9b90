#pragma once

#include <cstdint>

namespace nivexa::settings {

// The gray-level correction of the "Gray" group (filter IDs in the comments).
//
// The offsets default to 0, the pixel pipeline's neutral offset: an offset of 128 on a
// first run would brighten every pixel of a fresh installation by 128 levels.
struct GraySettings {
  int32_t mode = 0;      // 19
  int32_t gainR = 128;   // 20
  int32_t gainG1 = 128;  // 21
  int32_t gainG2 = 128;  // 22
  int32_t gainB = 128;   // 23
  int32_t offsetR = 0;   // 24
  int32_t offsetG1 = 0;  // 25
  int32_t offsetG2 = 0;  // 26
  int32_t offsetB = 0;   // 27
};

// As loadFilterSettings, for the "Gray" group.
int loadGraySettings(int32_t position, GraySettings& settings);
int saveGraySettings(int32_t position, const GraySettings& settings);

}  // namespace nivexa::settings

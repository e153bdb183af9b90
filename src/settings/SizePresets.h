#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "settings/StreamSettings.h"

namespace nivexa::settings {

// The capture-size presets directly under the product key, Size_00 onwards up to the first
// missing one. Nothing in the library writes them. Empty when the product key is missing.
std::vector<GeometrySettings> loadCaptureSizePresets();

// The first preset whose effective width and height ("EH", "EV") are these.
std::optional<GeometrySettings> findCaptureSizePreset(int32_t width, int32_t height);

}  // namespace nivexa::settings

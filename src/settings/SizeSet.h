#pragma once

#include <optional>
#include <string_view>

#include "platform/Registry.h"
#include "settings/StreamSettings.h"

// The seven values of one "Size_%02d" key, shared by the camera positions' size sets and the
// product-wide capture-size presets.
namespace nivexa::settings {

// Copies each stored value into `geometry`; returns how many of the seven were there.
int readSizeSet(const platform::RegistryKey& key, GeometrySettings& geometry);
// A size set with all seven values, or nothing.
std::optional<GeometrySettings> readCompleteSizeSet(const platform::RegistryKey& key);
void writeSizeSet(platform::RegistryChanges& changes, std::string_view keyPath,
                  const GeometrySettings& geometry);
// Size_00 onwards under `parent`, up to the first missing or incomplete one.
std::vector<GeometrySettings> readSizeSets(const platform::RegistryKey& parent);

}  // namespace nivexa::settings

#include "settings/SizePresets.h"

#include "settings/Layout.h"
#include "settings/SizeSet.h"

namespace nivexa::settings {

std::vector<GeometrySettings> loadCaptureSizePresets() {
  const auto product = platform::RegistryKey::open(kProductKey);
  return product ? readSizeSets(*product) : std::vector<GeometrySettings>();
}

std::optional<GeometrySettings> findCaptureSizePreset(int32_t width, int32_t height) {
  for (const auto& preset : loadCaptureSizePresets()) {
    if (preset.frameWidth == width && preset.frameHeight == height) {
      return preset;
    }
  }
  return std::nullopt;
}

}  // namespace nivexa::settings

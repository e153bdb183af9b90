#include "settings/SizeSet.h"

#include <array>

#include "settings/Layout.h"
#include "settings/StoredValues.h"

namespace nivexa::settings {

namespace {

struct SizeValue {
  std::string_view name;
  int32_t GeometrySettings::*member;
};

constexpr std::array<SizeValue, 7> kSizeValues = {{
    {"TH", &GeometrySettings::horizontalTotal},
    {"TV", &GeometrySettings::verticalTotal},
    {"EH", &GeometrySettings::frameWidth},
    {"EV", &GeometrySettings::frameHeight},
    {"EHS", &GeometrySettings::horizontalStart},
    {"EVS", &GeometrySettings::verticalStart},
    {"Buf", &GeometrySettings::buffer},
}};

}  // namespace

int readSizeSet(const platform::RegistryKey& key, GeometrySettings& geometry) {
  int found = 0;
  for (const auto& value : kSizeValues) {
    if (const auto stored = key.queryDword(value.name)) {
      geometry.*value.member = fromDword(*stored);
      ++found;
    }
  }
  return found;
}

std::optional<GeometrySettings> readCompleteSizeSet(const platform::RegistryKey& key) {
  GeometrySettings geometry;
  if (readSizeSet(key, geometry) != static_cast<int>(kSizeValues.size())) {
    return std::nullopt;
  }
  return geometry;
}

void writeSizeSet(platform::RegistryChanges& changes, std::string_view keyPath,
                  const GeometrySettings& geometry) {
  changes.createKey(keyPath);
  for (const auto& value : kSizeValues) {
    changes.setDword(keyPath, value.name, toDword(geometry.*value.member));
  }
}

std::vector<GeometrySettings> readSizeSets(const platform::RegistryKey& parent) {
  std::vector<GeometrySettings> sets;
  for (int32_t number = 0; number < kMaxSizeSets; ++number) {
    const auto key = parent.openSubkey(sizeKeyName(number));
    const auto geometry = key ? readCompleteSizeSet(*key) : std::nullopt;
    if (!geometry) {
      break;
    }
    sets.push_back(*geometry);
  }
  return sets;
}

}  // namespace nivexa::settings

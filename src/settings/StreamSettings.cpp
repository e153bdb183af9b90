#include "settings/StreamSettings.h"

#include "settings/Layout.h"
#include "settings/ParameterRanges.h"
#include "settings/SizeSet.h"
#include "settings/StoredValues.h"

namespace nivexa::settings {

namespace {

// Values written for a camera position on the very first run.
constexpr int32_t kFirstRunSubSample = 0;
constexpr int32_t kFirstRunWaitTimeMs = 1;
constexpr int32_t kFirstRunClock = 0;

auto within(IntRange range) {
  return [range](int32_t value) { return range.contains(value); };
}

void writeFirstRun(int32_t position, const FormatCapabilities& formats, SensorSize sensor) {
  platform::RegistryChanges changes;
  const std::string camera = cameraKeyPath(position);
  changes.createKey(kProductKey);
  changes.createKey(camera);
  writeSizeSet(changes, camera + "\\" + sizeKeyName(0), fullSensorGeometry(sensor));
  changes.setDword(camera, kSizeValue, 0);
  changes.setDword(camera, kColorValue, toDword(firstRunColorMode(formats)));
  changes.setDword(camera, kSubSampleValue, toDword(kFirstRunSubSample));
  changes.setDword(camera, kWaitTimeValue, toDword(kFirstRunWaitTimeMs));
  changes.setDword(camera, kClockValue, toDword(kFirstRunClock));
  // A store that cannot be written leaves the object's values; nothing to report.
  (void)changes.apply();
}

}  // namespace

bool validCaptureWindow(const GeometrySettings& g, SensorSize sensor) {
  if (g.horizontalTotal < 0 || g.verticalTotal < 0 || g.frameWidth < 0 || g.frameHeight < 0 ||
      g.horizontalStart < 0 || g.verticalStart < 0) {
    return false;
  }
  if (g.frameWidth > sensor.width || g.frameHeight > sensor.height ||
      g.horizontalStart > sensor.width || g.verticalStart > sensor.height) {
    return false;
  }
  return g.horizontalStart + g.frameWidth <= sensor.width &&
         g.verticalStart + g.frameHeight <= sensor.height;
}

int32_t firstRunColorMode(const FormatCapabilities& formats) {
  if (formats.colour) {
    return 2;
  }
  if (formats.secondFormat) {
    return 1;
  }
  return formats.monochrome ? 0 : 2;
}

int32_t correctedColorMode(int32_t mode, const FormatCapabilities& formats) {
  if (!formats.monochrome && (mode == 0 || mode == 3)) {
    mode = formats.secondFormat ? 1 : 2;
  }
  if (!formats.colour && mode == 2) {
    mode = formats.secondFormat ? 1 : 0;
  }
  if (!formats.secondFormat && mode == 1) {
    mode = formats.colour ? 2 : 0;
  }
  // The colour-mode setter refuses 32, 48 and 64 bits as well when colour formats are not
  // accepted; a stored 3, 4 or 5 there would make the pipeline build colour bitmaps.
  if (!formats.colour && (mode == 3 || mode == 4 || mode == 5)) {
    mode = formats.secondFormat ? 1 : 0;
  }
  return mode;
}

int loadGeometry(int32_t position, GeometrySettings& geometry, const FormatCapabilities& formats,
                 SensorSize sensor) {
  const auto product = platform::RegistryKey::open(kProductKey);
  if (!product) {
    writeFirstRun(position, formats, sensor);
    return 0;
  }
  const auto camera = product->openSubkey(cameraKeyName(position));
  if (!camera) {
    return 0;
  }
  const auto number = readAccepted(
      *camera, kSizeValue, [](int32_t value) { return value >= 0 && value < kMaxSizeSets; });
  if (!number) {
    return 0;
  }
  const auto sizeSet = camera->openSubkey(sizeKeyName(*number));
  if (!sizeSet) {
    return 0;
  }
  GeometrySettings loaded = geometry;
  readSizeSet(*sizeSet, loaded);
  if (!validCaptureWindow(loaded, sensor)) {
    return 0;
  }
  geometry = loaded;
  return 1;
}

int loadStreamSettings(int32_t position, StreamSettings& stream,
                       const FormatCapabilities& formats) {
  const auto camera = platform::RegistryKey::open(cameraKeyPath(position));
  if (!camera) {
    return 0;
  }
  loadInto(*camera, kColorValue, stream.colorMode, within(kColorModeRange));
  stream.colorMode = correctedColorMode(stream.colorMode, formats);
  loadInto(*camera, kSubSampleValue, stream.subsample, within(kSubSampleRange));
  loadInto(*camera, kWaitTimeValue, stream.waitTimeMs, within(kWaitTimeRange));
  loadInto(*camera, kClockValue, stream.clock, [](int32_t) { return true; });
  return 1;
}

std::vector<GeometrySettings> loadSizeSets(int32_t position) {
  const auto camera = platform::RegistryKey::open(cameraKeyPath(position));
  return camera ? readSizeSets(*camera) : std::vector<GeometrySettings>();
}

int32_t loadSizeNumber(int32_t position) {
  const auto camera = platform::RegistryKey::open(cameraKeyPath(position));
  if (!camera) {
    return 0;
  }
  const auto number = readAccepted(
      *camera, kSizeValue, [](int32_t value) { return value >= 0 && value < kMaxSizeSets; });
  return number.value_or(0);
}

namespace {

void writeStreamValues(platform::RegistryChanges& changes, const std::string& camera,
                       const StreamSettings& stream, int32_t sizeNumber) {
  changes.setDword(camera, kSizeValue, toDword(sizeNumber));
  changes.setDword(camera, kColorValue, toDword(stream.colorMode));
  changes.setDword(camera, kSubSampleValue, toDword(stream.subsample));
  changes.setDword(camera, kWaitTimeValue, toDword(stream.waitTimeMs));
  changes.setDword(camera, kClockValue, toDword(stream.clock));
}

}  // namespace

int saveStreamSettings(int32_t position, const StreamSettings& stream, int32_t sizeNumber,
                       const GeometrySettings& geometry) {
  // Size sets are read from 00 up to the first gap: one beyond the end could never be found.
  if (sizeNumber < 0 || sizeNumber >= kMaxSizeSets ||
      static_cast<size_t>(sizeNumber) > loadSizeSets(position).size()) {
    return 0;
  }
  platform::RegistryChanges changes;
  const std::string camera = cameraKeyPath(position);
  changes.createKey(camera);
  writeSizeSet(changes, camera + "\\" + sizeKeyName(sizeNumber), geometry);
  writeStreamValues(changes, camera, stream, sizeNumber);
  return changes.apply() ? 1 : 0;
}

int saveStreamSettings(int32_t position, const StreamSettings& stream, int32_t sizeNumber,
                       std::span<const GeometrySettings> sizes) {
  if (sizes.empty() || sizes.size() > static_cast<size_t>(kMaxSizeSets) || sizeNumber < 0 ||
      static_cast<size_t>(sizeNumber) >= sizes.size()) {
    return 0;
  }
  platform::RegistryChanges changes;
  const std::string camera = cameraKeyPath(position);
  changes.createKey(camera);
  for (size_t i = 0; i < sizes.size(); ++i) {
    writeSizeSet(changes, camera + "\\" + sizeKeyName(static_cast<int32_t>(i)), sizes[i]);
  }
  writeStreamValues(changes, camera, stream, sizeNumber);
  return changes.apply() ? 1 : 0;
}

}  // namespace nivexa::settings

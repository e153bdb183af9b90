#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace nivexa::settings {

// The open camera's pixel array, which every stored size must fit.
struct SensorSize {
  int32_t width = 0;
  int32_t height = 0;

  bool operator==(const SensorSize&) const = default;
};

inline constexpr int32_t kDefaultBufferValue = 4;

// One size set ("Size_%02d"): the capture geometry with its buffer value.
struct GeometrySettings {
  int32_t horizontalTotal = 0;           // "TH"
  int32_t verticalTotal = 0;             // "TV"
  int32_t frameWidth = 0;                // "EH"
  int32_t frameHeight = 0;               // "EV"
  int32_t horizontalStart = 0;           // "EHS"
  int32_t verticalStart = 0;             // "EVS"
  int32_t buffer = kDefaultBufferValue;  // "Buf"

  bool operator==(const GeometrySettings&) const = default;
};

// The whole sensor read out: the first-run size set and the dialog's custom size.
constexpr GeometrySettings fullSensorGeometry(SensorSize sensor) {
  return {sensor.width, sensor.height, sensor.width, sensor.height, 0, 0, kDefaultBufferValue};
}

// The output-format values of a camera position's key.
struct StreamSettings {
  int32_t colorMode = 0;    // "Color", 0..5
  int32_t subsample = 0;    // "SubSample"
  int32_t waitTimeMs = 10;  // "WaitTime"
  int32_t clock = 0;        // "Clock"
};

// What the engine reports about output formats; decides the first-run colour mode and corrects
// a stored one.
struct FormatCapabilities {
  bool monochrome = true;
  bool secondFormat = true;
  bool colour = true;
};

// Whether a capture window fits the sensor as the capture-window setter requires.
bool validCaptureWindow(const GeometrySettings& geometry, SensorSize sensor);

// The geometry load of a camera object's initialisation. Without the product key this is a
// first run: it writes the first-run values for `position` (size set 0 with the full `sensor`,
// "Color" decided from `formats`) and returns 0 without touching `geometry`. Otherwise it reads
// the active size set of `position` into `geometry` and returns 1; a missing key, or a size set
// the capture-window setter would refuse for `sensor`, leaves `geometry` as it was and
// returns 0.
int loadGeometry(int32_t position, GeometrySettings& geometry, const FormatCapabilities& formats,
                 SensorSize sensor);

// The colour load: colour mode (corrected against `formats`), subsample code, wait time and
// clock of `position`. Values missing or refused by their setters leave their fields. Returns 0
// when the key is missing.
int loadStreamSettings(int32_t position, StreamSettings& stream, const FormatCapabilities& formats);

// The first-run colour mode for these capabilities.
int32_t firstRunColorMode(const FormatCapabilities& formats);
// A colour mode made one the engine accepts.
int32_t correctedColorMode(int32_t mode, const FormatCapabilities& formats);

// For the stream-format dialog: the size sets of `position` (contiguous from Size_00), and the
// save of its values with the active size set `sizeNumber` and its geometry (an existing set,
// or the one appended after the last; 0 for any other number).
std::vector<GeometrySettings> loadSizeSets(int32_t position);
// The active size set number ("Size") of `position`; 0 when none is stored.
int32_t loadSizeNumber(int32_t position);
int saveStreamSettings(int32_t position, const StreamSettings& stream, int32_t sizeNumber,
                       const GeometrySettings& geometry);
// The dialog's whole list at once: `sizes` become Size_00 onwards and `sizeNumber` the active one,
// with the stream values, in one change of the store, so that no moment (nor a crash) leaves
// "Size" naming a set of another list. 0, with nothing written, for an empty list, one longer
// than kMaxSizeSets, or a number outside it.
int saveStreamSettings(int32_t position, const StreamSettings& stream, int32_t sizeNumber,
                       std::span<const GeometrySettings> sizes);

}  // namespace nivexa::settings

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nivexa::sim {

// What the lens looks at: the test pattern, a uniformly lit flat-field panel (vignetting, hot and
// dead pixels still there), or a capped lens (black level, dark current and hot pixels only).
enum class Illumination { Pattern, Flat, Dark };

enum class Pacing {
  Real,  // frames follow the programmed frame period
  Fast,  // a requested frame is there at once
};

struct CameraOptions {
  uint16_t vendorId = 0x04B4;
  uint16_t productId = 0x33D0;  // 0x33C0 is the variant without cooler
  std::string serial = "VC0001";
  uint16_t firmwareVersion = 0x1200;
  uint16_t fpgaVersion = 0x8130;  // bit 15: internal correction present
  double ambientC = 25.0;
  double cooledC = -5.0;      // where the cooler settles
  double thermalScale = 1.0;  // > 1 makes the temperature settle that many times faster
  Pacing pacing = Pacing::Real;
  bool noise = true;
  uint32_t seed = 1;
  uint32_t busSpeed = 4;
  Illumination scene = Illumination::Pattern;
};

// One camera's options from text of the form "serial=VC0002,pacing=fast,ambient=30". Keys: vid,
// pid, serial, firmware, fpga, ambient, cooled, thermal, pacing (real|fast), noise (on|off), seed,
// speed, scene (pattern|flat|dark). Numbers may be decimal or 0x-prefixed hex. Unknown keys and bad
// values fail with a message in `error`.
std::optional<CameraOptions> parseCameraOptions(std::string_view text, std::string& error);

// A camera count ("2") or one option list per camera separated by ';'. Cameras without a serial
// get VC0001, VC0002, ... by position.
std::optional<std::vector<CameraOptions>> parseCameraList(std::string_view text,
                                                          std::string& error);

}  // namespace nivexa::sim

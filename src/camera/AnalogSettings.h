#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace nivexa::camera {

// The camera-side settings the object keeps for the engine: what it re-applies whenever a device
// is opened or a stream is prepared, and what the settings store keeps per device. Plain 32-bit
// values (and one double) shared without a lock, like the processing parameters.
struct AnalogSettings {
  // Indexed by the filter ids' order: red (14), green 1 (15), green 2 (16), blue (17).
  enum ColourGain : int { kRed = 0, kGreen1 = 1, kGreen2 = 2, kBlue = 3 };

  std::atomic<int32_t> globalGain{0};
  std::array<std::atomic<int32_t>, 4> colourGain{0, 0, 0, 0};
  std::atomic<int32_t> exposureTicks{0};  // 1 tick = 100 us
  std::atomic<double> exposureSeconds{0.0};
  std::atomic<int32_t> blackLevel{0};
  std::atomic<int32_t> cooling{0};
  std::atomic<int32_t> featureSwitch{0};
  std::atomic<int32_t> gainMode{0};
  // Microseconds, refreshed from the ticks whenever they are read as real time or a stream is
  // prepared.
  std::atomic<int32_t> realExposureUs{0};
};

// One tick of the integer exposure is 100 microseconds.
inline constexpr int32_t kMicrosecondsPerTick = 100;
inline constexpr double kTicksPerSecond = 10000.0;

}  // namespace nivexa::camera

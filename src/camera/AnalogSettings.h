#pragma once

#include <atomic>
#include <cstdint>

namespace nivexa::camera {

// The camera-side copy of the sensor settings, re-applied to the engine whenever a device is
// opened and at every stream preparation, and stored per device. Plain 32-bit values shared
// without a lock, like the processing parameters. The mirror flags and the auto-iris mode are
// kept in the processing parameters, where the pipeline reads them.
struct AnalogSettings {
  std::atomic<int32_t> globalGain{0};
  std::atomic<int32_t> colourGainRed{0};
  std::atomic<int32_t> colourGainGreen1{0};
  std::atomic<int32_t> colourGainGreen2{0};
  std::atomic<int32_t> colourGainBlue{0};
  std::atomic<int32_t> exposureTicks{0};  // 100 us each
  std::atomic<int32_t> blackLevel{0};
  std::atomic<int32_t> cooling{0};
  std::atomic<int32_t> featureSwitch{0};  // filter ID 105
  std::atomic<int32_t> gainMode{0};
  std::atomic<double> exposureSeconds{0.0};
  // The last real exposure time in microseconds, with the two values kept beside it.
  std::atomic<int32_t> realExposureUs{0};
  std::atomic<int32_t> realExposureScale{1};
  std::atomic<double> realExposureFactor{1.0};
};

}  // namespace nivexa::camera

#pragma once

#include <cstdint>

// The sensor area a camera object reads out, and the rules every stored area must keep.
namespace nivexa::camera {

struct CaptureArea {
  int32_t horizontalStart = 0;
  int32_t verticalStart = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// Subsample codes that the readout cannot deliver.
constexpr bool subsampleRefused(int32_t code) {
  return code == 2 || code == 3 || code == 17 || code == 18 || code == 19;
}

// How much smaller than the area a frame is on each side.
constexpr int32_t subsampleDivisor(int32_t code) {
  switch (code) {
    case 1:
    case 17:
      return 2;
    case 2:
    case 18:
      return 4;
    case 3:
    case 19:
      return 8;
    default:
      return 1;
  }
}

// Non-negative, inside the sensor, with a subsample code the readout delivers.
constexpr bool validCaptureArea(const CaptureArea& a, int32_t subsample, int32_t sensorWidth,
                                int32_t sensorHeight) {
  return a.width >= 0 && a.height >= 0 && a.horizontalStart >= 0 && a.verticalStart >= 0 &&
         a.width <= sensorWidth && a.height <= sensorHeight && a.horizontalStart <= sensorWidth &&
         a.verticalStart <= sensorHeight && a.horizontalStart + a.width <= sensorWidth &&
         a.verticalStart + a.height <= sensorHeight && !subsampleRefused(subsample);
}

}  // namespace nivexa::camera

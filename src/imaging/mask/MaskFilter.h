#pragma once

#include <cstdint>

#include "imaging/DibImage.h"

namespace nivexa::imaging::mask {

// Where the frame lies on the sensor, from the capture geometry: references are read at
// (hStart + frame column, vStart + frame row), not scaled for subsampling. The sensor's size is
// the open camera's, given with every window.
struct SensorWindow {
  int32_t hStart = 0;
  int32_t vStart = 0;
  int32_t effectiveWidth = 0;
  int32_t effectiveHeight = 0;
  int32_t sensorWidth = 0;
  int32_t sensorHeight = 0;
};

// Flat-field normalisation of each raw pixel between its dark and white reference, in place.
// raw, dark and white are of one depth (8 or 16); other depths are left alone. Pixels whose
// sensor position falls outside the references are left alone. A pixel at its white reference
// comes out at full scale: 255, or 4095 for 16-bit frames, which keep the 12 significant bits.
void maskFilter(DibImage& raw, const DibImage& dark, const DibImage& white,
                const SensorWindow& window);
// The arithmetic written plainly, pixel by pixel: the oracle the fast path is checked against.
void maskFilterReference(DibImage& raw, const DibImage& dark, const DibImage& white,
                         const SensorWindow& window);

}  // namespace nivexa::imaging::mask

#pragma once

#include <cstdint>

namespace nivexa::sensors {

// The driver's single record of geometry, limits and current settings. The engine reads the
// window, output size, readout mode and orientation straight from it, and copies it out whole.
// Within each parameter group the order is minimum, maximum, current, default, supported.
struct SensorInfo {
  int32_t arrayWidth;
  int32_t arrayHeight;
  int32_t defaultX;
  int32_t defaultY;
  int32_t defaultWidth;
  int32_t defaultHeight;
  int32_t attributeA;
  int32_t monochrome;  // 1: a monochrome chip; 0 where the driver does not say
  int32_t windowX;
  int32_t windowY;
  int32_t outputWidth;  // after any reduced readout mode
  int32_t outputHeight;
  int32_t lineLength;   // pixel clocks per line, a timing constant of the chip
  int32_t frameLength;  // lines at full frame
  int32_t readoutMode;  // 0, 1 or 17
  int32_t reserved0;

  int32_t gainMin;
  int32_t gainMax;
  int32_t gainCurrent;
  int32_t gainDefault;
  int32_t gainSupported;

  int32_t linesMin;
  int32_t linesMax;
  int32_t linesCurrent;
  int32_t linesDefault;
  int32_t linesSupported;

  int32_t colourGainMin;
  int32_t colourGainMax;
  int32_t colourGainRed;
  int32_t colourGainGreen1;
  int32_t colourGainGreen2;
  int32_t colourGainBlue;
  int32_t colourGainDefault;
  int32_t colourGainDefaultRed;  // per-channel defaults of the colour drivers
  int32_t colourGainDefaultGreen1;
  int32_t colourGainDefaultGreen2;
  int32_t colourGainDefaultBlue;

  int32_t ticksMin;  // exposure in ticks of 100 microseconds
  int32_t ticksMax;
  int32_t ticksCurrent;
  int32_t ticksDefault;

  int32_t fifthMin;
  int32_t fifthMax;
  int32_t fifthCurrent;
  int32_t fifthDefault;
  int32_t fifthSupported;

  int32_t blackLevelMin;
  int32_t blackLevelMax;
  int32_t blackLevelCurrent;
  int32_t blackLevelDefault;
  int32_t blackLevelSupported;

  int32_t featureSupported;
  int32_t featureCurrent;
  int32_t spare0;

  double secondsMin;
  double secondsMax;
  double secondsCurrent;
  double secondsDefault;
  int32_t secondsSupported;

  int32_t mirrorVCurrent;
  int32_t mirrorVDefault;
  int32_t mirrorVSupported;
  int32_t mirrorHCurrent;
  int32_t mirrorHDefault;
  int32_t mirrorHSupported;

  int32_t outputDepth;  // bits per pixel on the wire, 8 or 16; 0 until set
  int32_t sensorClock;  // clock constant of the timing formulas
  int32_t orientation;  // one of the kOrientation values below
};

// How the sensor's rows and columns reach the host, against the image's own order.
inline constexpr int32_t kOrientationNormal = 1;
inline constexpr int32_t kOrientationMirrored = 2;  // each row right to left
inline constexpr int32_t kOrientationFlipped = 3;   // the last row first
inline constexpr int32_t kOrientationBothFlipped = 4;

}  // namespace nivexa::sensors

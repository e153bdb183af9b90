#pragma once

#include <cstdint>

namespace nivexa::sensors {

// Limits, defaults and timing constants of one IMX99x chip. Each chip has one instance in its
// own header (Imx990Table.h ... Imx993Table.h); the shared driver code refers only to fields.
struct SwirChipTable {
  int variantUncooled;  // flipped in both directions, no cooler
  int variantCooled;    // Peltier cooler, normal orientation

  int arrayWidth;
  int arrayHeight;
  int lineLengthClocks;       // reported in SensorInfo
  int fullFrameLength;        // frame length in lines for a full-height window
  int frameLengthExtra;       // lines added to a cropped height to get its frame length
  int binnedFrameLength;      // readout mode 1; 0 = mode not offered
  int subsampledFrameLength;  // readout mode 17; 0 = mode not offered
  int maxWindowWidth;
  int maxWindowHeight;
  bool hasDriveControl;  // bits 9-2 of 0x430/0x431 must be set on every window change
  uint8_t driveControlValue;

  int linesMin;
  int linesMax;
  int linesDefault;
  int ticksDefault;
  double secondsDefault;
  double secondsMinAtConstruction;

  int gainMax;
  int ticksMin;
  int ticksMax;
  double secondsMax;
  int sensorClock;

  // Line length register values; the wide one doubles the line time for 16-bit output.
  int lineLengthNarrow;
  int lineLengthWide;
  // Line time in microseconds at the narrow line length (as clocked by the sensor).
  double lineTimeNumerator;  // multiplied by 1000 / sensorClock
  // Offset subtracted from the exposure before dividing by the line time (sensor overhead).
  double exposureOffsetUs;
  // Shutter margin in lines between the frame end and the earliest shutter start.
  int shutterMargin;

  uint8_t fpgaTiming[3];  // FPGA 80, 81, 82 after every exposure change

  uint16_t temperatureFpgaVersionMin;  // FPGA versions above this keep a temperature copy

  int initialOutputDepth;  // 0 = not set yet
  int initialModeWord;     // trigger mode word before the first SetTriggerMode
  bool hasBlackLevel;
  int blackLevelMax;
  int blackLevelDefault;
  bool hasFeatureSwitch;
  bool hasGainMode;

  // Window alignment in readout mode 0 and in mode 17.
  int fullModeAlignX;
  int fullModeAlignY;
  int subsampledAlign;
  int reducedWindowY;  // window y written in readout modes 1 and 17

  // The older pair (IMX990, IMX991) times exposure in nanoseconds with a fixed line time that
  // depends on the FPGA's sensor clocking, and leaves the line length registers alone.
  bool nanosecondTiming = false;
  double exposureOffsetNs = 0.0;
  double lineTimeFastNs = 0.0;
  double lineTimeSlowNs = 0.0;
  double lineTimeSlowFullHeightNs = 0.0;  // slow clocking with a full-height window
  double framePeriodMsPerLine = 0.0;
  uint8_t blackLevelFast = 0;  // fixed black level written by ApplyDefaults, by clocking
  uint8_t blackLevelSlow = 0;
  double secondsMinFast = 0.0;
  double secondsMinSlow = 0.0;
};

// Register values that depend on the readout mode (0x23C, 0x400, FPGA 90).
struct SwirModeCodes {
  uint8_t modeSelect;
  uint8_t readoutControl;
  uint8_t fpgaCode;
};

inline constexpr SwirModeCodes kFullModeCodes{0, 36, 0};
inline constexpr SwirModeCodes kBinnedModeCodes{17, 36, 1};
inline constexpr SwirModeCodes kSubsampledModeCodes{0, 172, 2};

}  // namespace nivexa::sensors

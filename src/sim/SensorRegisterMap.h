#pragma once

#include <cstdint>

// The 2048 x 1536 InGaAs SWIR sensor: its register addresses (16-bit, 8-bit values), array size and
// timing constants.
namespace nivexa::sim::sensor {

inline constexpr int kArrayWidth = 2048;
inline constexpr int kArrayHeight = 1536;
inline constexpr uint16_t kRegisterSpace = 0x800;

inline constexpr uint16_t kFeatureSwitch = 0x020;
inline constexpr uint16_t kFeatureEnable = 0x040;
inline constexpr uint16_t kStandby = 0x200;
inline constexpr uint16_t kStartControl = 0x20C;
inline constexpr uint16_t kReadoutSelect = 0x23C;
inline constexpr uint8_t kReadoutSelectBinned = 17;
inline constexpr uint16_t kFrameLength0 = 0x2D4;  // low, middle, high
inline constexpr uint16_t kLineLength0 = 0x2D8;   // low, high
inline constexpr uint16_t kCrop = 0x304;          // bit 0 horizontal, bit 1 vertical
inline constexpr uint16_t kWindowX = 0x320;       // each: low byte, then bits 8-12
inline constexpr uint16_t kWindowY = 0x322;
inline constexpr uint16_t kWindowWidth = 0x324;
inline constexpr uint16_t kWindowHeight = 0x326;
inline constexpr uint16_t kReadoutControl = 0x400;
inline constexpr uint8_t kReadoutControlSubsampled = 172;
inline constexpr uint16_t kMirror = 0x404;  // bit 0 vertical, bit 1 horizontal
inline constexpr uint16_t kDriveControl0 = 0x430;
inline constexpr uint16_t kDriveControl1 = 0x431;
inline constexpr uint8_t kDriveModeMask = 0x03;
inline constexpr uint8_t kDriveModeTriggered = 3;
inline constexpr uint16_t kTriggerSelect = 0x432;
inline constexpr uint16_t kShutter0 = 0x440;  // low, middle, high
inline constexpr uint16_t kTriggerInput = 0x600;
inline constexpr uint16_t kTemperatureLow = 0x690;
inline constexpr uint16_t kTemperatureHigh = 0x691;
inline constexpr uint16_t kInitControl = 0x702;
inline constexpr uint16_t kGainMode = 0x710;  // bit 0: high conversion gain
inline constexpr uint16_t kGainLow = 0x714;
inline constexpr uint16_t kGainHigh = 0x715;  // bit 0 = gain bit 8
inline constexpr uint16_t kFeatureSwitchReadback = 0x720;
inline constexpr uint16_t kFeatureEnableReadback = 0x740;
inline constexpr uint16_t kTemperatureLatch = 0x788;  // bit 0 freezes 0x690/0x691
inline constexpr uint16_t kBlackLevelLow = 0x7C0;
inline constexpr uint16_t kBlackLevelHigh = 0x7C1;  // bits 8-11 in the low nibble

inline constexpr int kMaxGainCode = 420;        // 0.1 dB per code
inline constexpr double kHighGainFactor = 2.0;  // conversion gain ratio of the two gain modes

// Line time in microseconds = line length / 489 x 355.7 x 1000 / 54545.
inline constexpr double kBaseLineLength = 489.0;
inline constexpr double kLineTimeAtBaseUs = 355.7 * 1000.0 / 54545.0;
// The shutter opens this long before the first counted line.
inline constexpr double kExposureOffsetUs = 14.802;

// Power-up values of the registers that matter for the image.
inline constexpr uint32_t kPowerUpFrameLength = 1628;
inline constexpr uint16_t kPowerUpLineLength = 489;
inline constexpr uint32_t kPowerUpShutter = 54;
inline constexpr uint16_t kPowerUpBlackLevel = 60;
inline constexpr uint8_t kPowerUpDriveControl = 41;  // free run
inline constexpr uint8_t kPowerUpReadoutControl = 36;
inline constexpr uint8_t kFeatureSwitchOff = 0x5F;

// Temperature value: 12-bit two's complement in units of 1/8 degree Celsius.
inline constexpr double kTemperatureLsbC = 0.125;

}  // namespace nivexa::sim::sensor

#pragma once

#include <cstdint>

// Sensor register map of the IMX99x SWIR family (IMX990, IMX991, IMX992, IMX993). The four
// chips share one map; what differs between them (limits, timing, which registers exist) is in
// each chip's own table.
namespace nivexa::sensors::imx99x {

inline constexpr uint16_t kFeatureValue = 0x020;
inline constexpr uint16_t kFeatureEnable = 0x040;
inline constexpr uint16_t kStandby = 0x200;
inline constexpr uint16_t kStartControl = 0x20C;
inline constexpr uint16_t kModeSelect = 0x23C;
inline constexpr uint16_t kFrameLengthLow = 0x2D4;
inline constexpr uint16_t kFrameLengthMiddle = 0x2D5;
inline constexpr uint16_t kFrameLengthHigh = 0x2D6;
inline constexpr uint16_t kLineLengthLow = 0x2D8;
inline constexpr uint16_t kLineLengthHigh = 0x2D9;
inline constexpr uint16_t kWindowCrop = 0x304;
inline constexpr uint16_t kWindowXLow = 0x320;  // x, y, width, height: low byte, bits 8-12
inline constexpr uint16_t kWindowXHigh = 0x321;
inline constexpr uint16_t kWindowYLow = 0x322;
inline constexpr uint16_t kWindowYHigh = 0x323;
inline constexpr uint16_t kWindowWidthLow = 0x324;
inline constexpr uint16_t kWindowWidthHigh = 0x325;
inline constexpr uint16_t kWindowHeightLow = 0x326;
inline constexpr uint16_t kWindowHeightHigh = 0x327;
inline constexpr uint16_t kReadoutControl = 0x400;
inline constexpr uint16_t kMirror = 0x404;
inline constexpr uint16_t kDriveControlLow = 0x430;
inline constexpr uint16_t kDriveControlHigh = 0x431;
inline constexpr uint16_t kTriggerEnable = 0x432;
inline constexpr uint16_t kShutterLow = 0x440;
inline constexpr uint16_t kShutterMiddle = 0x441;
inline constexpr uint16_t kShutterHigh = 0x442;
inline constexpr uint16_t kTriggerInput = 0x600;
inline constexpr uint16_t kTemperatureLow = 0x690;
inline constexpr uint16_t kTemperatureHigh = 0x691;
inline constexpr uint16_t kInitControl = 0x702;
inline constexpr uint16_t kGainMode = 0x710;
inline constexpr uint16_t kGainLow = 0x714;
inline constexpr uint16_t kGainHigh = 0x715;
inline constexpr uint16_t kFeatureValueReadback = 0x720;
inline constexpr uint16_t kFeatureEnableReadback = 0x740;
inline constexpr uint16_t kTemperatureLatch = 0x788;
inline constexpr uint16_t kBlackLevelLow = 0x7C0;
inline constexpr uint16_t kBlackLevelHigh = 0x7C1;

// Field layouts.
inline constexpr uint8_t kCropHorizontal = 0x01;
inline constexpr uint8_t kCropVertical = 0x02;
inline constexpr uint8_t kMirrorVertical = 0x01;
inline constexpr uint8_t kMirrorHorizontal = 0x02;
inline constexpr uint8_t kGainModeHighGain = 0x01;
inline constexpr uint8_t kTemperatureLatchBit = 0x01;
inline constexpr uint8_t kDriveModeMask = 0x03;  // bits 1-0 of 0x430
inline constexpr uint8_t kDriveFreeRun = 41;     // 0x430 with free-run drive bits
inline constexpr uint8_t kDriveTrigger = 43;     // 0x430 with trigger drive bits
inline constexpr uint8_t kWindowHighMask = 0x1F;
inline constexpr uint8_t kBlackLevelHighMask = 0x0F;
inline constexpr uint8_t kGainHighMask = 0x01;
inline constexpr uint8_t kFeatureOnValue = 0x50;
inline constexpr uint8_t kFeatureOffValue = 0x5F;
inline constexpr int64_t kFrameLengthMax = 0xFFFFFF;  // three register bytes
inline constexpr int kTemperatureMask = 0xFFF;        // 12-bit two's complement, 1/8 degree units

// Standby transitions settle for this long after each of the two control writes.
inline constexpr uint32_t kStandbySettleMs = 50;
inline constexpr uint32_t kTriggerSettleMs = 100;

// Readout modes as the engine names them.
inline constexpr int kModeFull = 0;
inline constexpr int kModeBinned = 1;
inline constexpr int kModeSubsampled = 17;

}  // namespace nivexa::sensors::imx99x

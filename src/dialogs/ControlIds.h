#pragma once

#include <cstdint>

// Every control id of the settings dialogs, shared by the Windows resources and the GTK view:
// the Windows dialog templates use the same numbers, and the GTK widgets carry them as names.
namespace nivexa::dialogs::ids {

// Frame buttons and the tab control.
inline constexpr int32_t kOk = 1;
inline constexpr int32_t kCancel = 2;
inline constexpr int32_t kDefault = 3;
inline constexpr int32_t kTab = 1001;
inline constexpr int32_t kApply = 1002;

// Image-filter page: trackbar, edit and up-down of each slider group.
inline constexpr int32_t kBrightness[3] = {2001, 2002, 2004};
inline constexpr int32_t kContrast[3] = {2011, 2012, 2014};
inline constexpr int32_t kHue[3] = {2021, 2022, 2024};
inline constexpr int32_t kSaturation[3] = {2031, 2032, 2034};
inline constexpr int32_t kSharpness[3] = {2041, 2042, 2044};
inline constexpr int32_t kRedGain[3] = {2051, 2052, 2054};
inline constexpr int32_t kGreenGain[3] = {2061, 2062, 2063};
inline constexpr int32_t kBlueGain[3] = {2071, 2072, 2073};
inline constexpr int32_t kGamma[3] = {2081, 2082, 2084};
inline constexpr int32_t kBayerRadio0 = 1030;  // 1030..1033: Bayer pattern 0..3
inline constexpr int32_t kAutoOnce = 2074;
inline constexpr int32_t kAutoAllFrames = 1035;
inline constexpr int32_t kBayerGroup = 3001;  // group boxes have no id of their own on Windows
inline constexpr int32_t kAutoGroup = 3002;

// Gray-filter page: gains 2100..2111 and offsets 2112..2123, three ids per slider group.
inline constexpr int32_t kGrayGainFirst = 2100;
inline constexpr int32_t kGrayOffsetFirst = 2112;
inline constexpr int32_t kGrayModeBayer = 1046;
inline constexpr int32_t kGrayModeConvert = 1047;
inline constexpr int32_t kGrayModeGrayscale = 1048;
inline constexpr int32_t kGrayGainGroup = 3003;
inline constexpr int32_t kGrayOffsetGroup = 3004;
inline constexpr int32_t kGrayModeGroup = 3005;

// Analog page.
inline constexpr int32_t kGlobalGain[3] = {1013, 1015, 1038};
inline constexpr int32_t kColourGainG1[3] = {1018, 1019, 1039};
inline constexpr int32_t kColourGainR[3] = {1020, 1021, 1040};
inline constexpr int32_t kColourGainB[3] = {1022, 1023, 1041};
inline constexpr int32_t kColourGainG2[3] = {1024, 1025, 1042};
inline constexpr int32_t kExposure[3] = {1026, 1027, 1043};
inline constexpr int32_t kExposureMsec = 1049;
inline constexpr int32_t kBlackLevel[3] = {2128, 2129, 2130};
inline constexpr int32_t kRealExposureEdit = 2131;
inline constexpr int32_t kRealExposureUnit = 2132;
inline constexpr int32_t kRealExposureRange = 2133;
inline constexpr int32_t kRealExposureLabel = 2134;
inline constexpr int32_t kAutoIrisGain = 1036;
inline constexpr int32_t kAutoIrisExposure = 1037;
inline constexpr int32_t kMirrorV = 1028;
inline constexpr int32_t kMirrorH = 1029;
inline constexpr int32_t kPeltier = 2124;
inline constexpr int32_t kShortExposure = 2125;
inline constexpr int32_t kGainMode = 2126;
inline constexpr int32_t kAutoIrisGroup = 3006;

// Stream-format page.
inline constexpr int32_t kColorCombo = 1009;
inline constexpr int32_t kSizeCombo = 1010;
inline constexpr int32_t kSubSampleCombo = 1012;
inline constexpr int32_t kClockCombo = 1014;
inline constexpr int32_t kHTotal = 1039;
inline constexpr int32_t kVTotal = 1040;
inline constexpr int32_t kHEffective = 1041;
inline constexpr int32_t kVEffective = 1042;
inline constexpr int32_t kHStart = 1043;
inline constexpr int32_t kVStart = 1044;
inline constexpr int32_t kWaitTime = 1045;

// Labels that no code refers to carry no id (0); the views leave such widgets unnamed.
inline constexpr int32_t kNoId = 0;

}  // namespace nivexa::dialogs::ids

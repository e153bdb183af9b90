#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Where the settings live in the current user's registry. Every name here is also read by
// people (and by earlier installations), so none of them may change.
namespace nivexa::settings {

inline constexpr std::string_view kProductKey = "Software\\Oblent\\NivexaM7QXTEC3R5Sdk";

// Subkeys of a camera position's key.
inline constexpr std::string_view kGainKey = "Gain";
inline constexpr std::string_view kFilterKey = "Filter";
inline constexpr std::string_view kGrayKey = "Gray";

// Values of a camera position's key.
inline constexpr std::string_view kSizeValue = "Size";
inline constexpr std::string_view kColorValue = "Color";
inline constexpr std::string_view kSubSampleValue = "SubSample";
inline constexpr std::string_view kWaitTimeValue = "WaitTime";
inline constexpr std::string_view kClockValue = "Clock";

// Size sets: "Size_00" .. "Size_99", numbered from 00 without gaps.
inline constexpr int32_t kMaxSizeSets = 100;

// "Camera_%02d": Camera_00, Camera_07, and Camera_-1 for a camera object with no device yet.
std::string cameraKeyName(int32_t position);
std::string cameraKeyPath(int32_t position);
// "Size_%02d".
std::string sizeKeyName(int32_t number);

}  // namespace nivexa::settings

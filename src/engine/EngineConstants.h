#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "sensors/FpgaRegisters.h"

namespace nivexa::engine {

// Product IDs the engine itself tells apart.
inline constexpr int kProductIdNone = -1;
inline constexpr int kProductM7qxTec = 0x33D0;    // this product: cooled SWIR, normal orientation
inline constexpr int kProductM7qx = 0x33C0;       // the same camera without cooler
inline constexpr int kProductStamped = 0x32D0;    // eight ring slots, stamped frames
inline constexpr int kProductAltStream = 0x3042;  // alternative streaming interface
inline constexpr int kProductConverter = 0x3130;  // tripled frame buffers

inline bool isOneOf(int productId, std::initializer_list<int> products) {
  return std::find(products.begin(), products.end(), productId) != products.end();
}

inline constexpr int kMaxDevices = 32;
inline constexpr int kDefaultRingSlots = 4;
inline constexpr int kStampedRingSlots = 8;
inline constexpr uint32_t kDefaultFrameTimeoutMs = 5000;
inline constexpr uint32_t kBufferAlignment = 8192;
inline constexpr int kBufferMargin = 128;  // extra rows and columns of the transfer buffer

// Controller firmware versions (device information bytes 24-25) that change the engine's ways.
inline constexpr uint16_t kFirmwareResetsPipeAbove = 0x10FF;
inline constexpr size_t kFirmwareVersionOffset = 24;

inline constexpr uint16_t kEepromUserByteAddress = 0x1080;
inline constexpr uint8_t kFrameEndpoint = 0x81;
inline constexpr uint32_t kBusSpeedSuper = 4;

// The FPGA's register map is the sensor drivers' (one map for the whole camera).
namespace fpga = sensors::fpga;

}  // namespace nivexa::engine

#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>

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

// FPGA registers the engine programs or reads.
namespace fpga {
inline constexpr uint8_t kBusState = 0x02;  // bit 1: FPGA busy
inline constexpr uint8_t kBusBusyBit = 0x02;
inline constexpr uint8_t kIoPort = 7;  // the camera's general-purpose I/O lines
inline constexpr uint8_t kFrameCounter = 8;
inline constexpr uint8_t kOutputDepth = 60;  // 1: 8 bits, 2: 16 bits
inline constexpr uint8_t kOutputHeightLow = 64;
inline constexpr uint8_t kOutputHeightHigh = 65;
inline constexpr uint8_t kOutputWidthLow = 68;
inline constexpr uint8_t kOutputWidthHigh = 69;
inline constexpr uint8_t kFormatA = 72;
inline constexpr uint8_t kFormatB = 73;
inline constexpr uint8_t kFormatC = 76;
inline constexpr uint8_t kFormatD = 77;
inline constexpr uint8_t kStreamReset = 0x68;  // written with 2 when the stream path restarts
inline constexpr uint8_t kStreamResetValue = 2;
inline constexpr uint8_t kCorrectionLevelLow = 208;
inline constexpr uint8_t kCorrectionControl = 209;  // bit 0: internal correction on
inline constexpr uint8_t kCorrectionLevelHigh = 210;
inline constexpr uint8_t kDieTemperatureLow = 142;
inline constexpr uint8_t kDieTemperatureHigh = 143;
inline constexpr uint8_t kOutputDepth8 = 1;
inline constexpr uint8_t kOutputDepth16 = 2;
}  // namespace fpga

}  // namespace nivexa::engine

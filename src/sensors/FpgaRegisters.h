#pragma once

#include <cstdint>

// The camera FPGA's register map as the sensor drivers use it. The FPGA is the same on every
// camera of the platform, so its map is shared by all sensor drivers.
namespace nivexa::sensors::fpga {

inline constexpr uint8_t kBusState = 0x02;    // serial bus to the sensor, 0 = free
inline constexpr uint8_t kVersionLow = 0x10;  // version word, low byte (high byte at 0x11)
inline constexpr uint8_t kMirrorOffsetLow = 76;
inline constexpr uint8_t kMirrorOffsetHigh = 77;
inline constexpr uint8_t kExposureTiming0 = 80;
inline constexpr uint8_t kExposureTiming1 = 81;
inline constexpr uint8_t kExposureTiming2 = 82;
inline constexpr uint8_t kLineClocksLow = 84;
inline constexpr uint8_t kLineClocksHigh = 85;
inline constexpr uint8_t kTriggerControl = 88;
inline constexpr uint8_t kTriggerPulse = 89;
inline constexpr uint8_t kReadoutMode = 90;
inline constexpr uint8_t kFrameRestart = 108;
inline constexpr uint8_t kExposureLow = 133;
inline constexpr uint8_t kExposureMiddle = 134;
inline constexpr uint8_t kCooler = 151;
inline constexpr uint8_t kExposureHigh = 155;
inline constexpr uint8_t kBusRequest = 0x9F;
inline constexpr uint8_t kTemperatureLow = 229;
inline constexpr uint8_t kTemperatureHigh = 230;

inline constexpr uint8_t kCoolerOnBit = 0x01;
inline constexpr uint8_t kTriggerOff = 0;
inline constexpr uint8_t kTriggerOn = 2;

// Line clocks the FPGA counts per sensor line, by wire depth.
inline constexpr uint16_t kLineClocks16Bit = 712;
inline constexpr uint16_t kLineClocks8Bit = 356;

// Bit 15 of the version word: the FPGA carries the internal pixel correction.
inline constexpr uint16_t kVersionInternalCorrection = 0x8000;
// Bit 14: the newer sensor clocking of the older SWIR pair.
inline constexpr uint16_t kVersionFastClock = 0x4000;

// Handshake timing.
inline constexpr int kVerifiedWriteAttempts = 10;
inline constexpr uint32_t kVerifyDelayMs = 5;
inline constexpr int kVersionReadAttempts = 10;
inline constexpr uint32_t kVersionRetryMs = 100;
inline constexpr int kBusPolls = 100;
inline constexpr uint32_t kBusPollMs = 3;
inline constexpr uint32_t kRestartPulseMs = 1;
inline constexpr int kTemperatureReadAttempts = 5;

}  // namespace nivexa::sensors::fpga

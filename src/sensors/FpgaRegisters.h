#pragma once

#include <cstdint>

// The camera FPGA's register map: the one map of the sensor drivers, the engine and the tool.
// The FPGA is the same on every camera of the platform. (The virtual camera keeps a map of its
// own on purpose: it is the independent model that a wrong address here is tested against.)
namespace nivexa::sensors::fpga {

inline constexpr uint8_t kBusState = 0x02;  // serial bus to the sensor, 0 = free
inline constexpr uint8_t kBusBusyBit = 0x02;
inline constexpr uint8_t kIoPort = 7;  // the camera's general-purpose I/O lines
inline constexpr uint8_t kFrameCounter = 8;
inline constexpr uint8_t kVersionLow = 0x10;   // version word, low byte
inline constexpr uint8_t kVersionHigh = 0x11;  // version word, high byte
inline constexpr uint8_t kOutputDepth = 60;    // kOutputDepth8 or kOutputDepth16
inline constexpr uint8_t kOutputHeightLow = 64;
inline constexpr uint8_t kOutputHeightHigh = 65;
inline constexpr uint8_t kOutputWidthLow = 68;
inline constexpr uint8_t kOutputWidthHigh = 69;
// The output format of the readout mode (low and high byte); kFormatCode* below.
inline constexpr uint8_t kOutputFormatLow = 72;
inline constexpr uint8_t kOutputFormatHigh = 73;
// Where the FPGA starts a line: it changes with the horizontal mirror and the readout mode.
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
inline constexpr uint8_t kStreamReset = 0x68;  // written with kStreamResetValue on a restart
inline constexpr uint8_t kFrameRestart = 108;
inline constexpr uint8_t kExposureLow = 133;
inline constexpr uint8_t kExposureMiddle = 134;
inline constexpr uint8_t kDieTemperatureLow = 142;
inline constexpr uint8_t kDieTemperatureHigh = 143;
inline constexpr uint8_t kCooler = 151;
inline constexpr uint8_t kExposureHigh = 155;
inline constexpr uint8_t kBusRequest = 0x9F;
inline constexpr uint8_t kCorrectionLevelLow = 208;
inline constexpr uint8_t kCorrectionControl = 209;  // bit 0: internal correction on
inline constexpr uint8_t kCorrectionLevelHigh = 210;
inline constexpr uint8_t kTemperatureLow = 229;
inline constexpr uint8_t kTemperatureHigh = 230;

inline constexpr uint8_t kCoolerOnBit = 0x01;
inline constexpr uint8_t kOutputDepth8 = 1;
inline constexpr uint8_t kOutputDepth16 = 2;
inline constexpr uint8_t kStreamResetValue = 2;

// Output format codes (register 72) by readout mode, and the line offsets (register 76) of the
// reduced and full readouts with and without the horizontal mirror.
inline constexpr uint8_t kFormatCodeFull = 25;
inline constexpr uint8_t kFormatCodeFullDefaultHeight = 33;  // two products, default height only
inline constexpr uint8_t kFormatCodeBinned = 31;
inline constexpr uint8_t kFormatCodeSubsampled = 17;
inline constexpr uint8_t kMirrorOffsetFull = 112;
inline constexpr uint8_t kMirrorOffsetFullMirrored = 16;
inline constexpr uint8_t kMirrorOffsetReduced = 52;
inline constexpr uint8_t kMirrorOffsetReducedMirrored = 8;
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

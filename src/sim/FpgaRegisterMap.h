#pragma once

#include <cstdint>

// The camera FPGA's register file as the firmware and the sensor path see it. Registers are 8 bits
// wide; the serial bus carries each value as a 16-bit big-endian word of which the FPGA keeps the
// low byte.
namespace nivexa::sim::fpga {

inline constexpr uint8_t kBusState = 0x02;  // bit 1 set while the FPGA itself drives the sensor bus
inline constexpr uint8_t kBusStateBusy = 0x02;
inline constexpr uint8_t kIoPort = 0x07;
inline constexpr uint8_t kFrameCounter = 0x08;  // low byte of the exposed-frame count, read only
inline constexpr uint8_t kVersionLow = 0x10;
inline constexpr uint8_t kVersionHigh = 0x11;

inline constexpr uint8_t kOutputDepth = 60;
inline constexpr uint8_t kDepth16 = 2;  // anything else packs the top 8 of the 12 bits

inline constexpr uint8_t kHeightLow = 64;
inline constexpr uint8_t kHeightHigh = 65;
inline constexpr uint8_t kWidthLow = 68;
inline constexpr uint8_t kWidthHigh = 69;

inline constexpr uint8_t kOutputFormat = 72;
inline constexpr uint8_t kOutputFormatHigh = 73;
inline constexpr uint8_t kLineStart = 76;  // first pixel of each sensor line that the FPGA keeps
inline constexpr uint8_t kLineStartHigh = 77;

// Line starts that line the window up with the sensor's output, by readout and horizontal mirror:
// the sensor shifts its active pixels when it reads a line backwards.
inline constexpr int kLineStartNormal = 112;
inline constexpr int kLineStartMirrored = 16;
inline constexpr int kLineStartHalfNormal = 52;
inline constexpr int kLineStartHalfMirrored = 8;

inline constexpr uint8_t kExposureAux0 = 80;
inline constexpr uint8_t kExposureAux1 = 81;
inline constexpr uint8_t kExposureAux2 = 82;
inline constexpr uint8_t kLineWordLow = 84;
inline constexpr uint8_t kLineWordHigh = 85;

inline constexpr uint8_t kTriggerControl = 88;
inline constexpr uint8_t kTriggerOn = 2;
inline constexpr uint8_t kReadoutCode = 90;

inline constexpr uint8_t kStreamReset = 0x68;  // writing 2 flushes the frame FIFO
inline constexpr uint8_t kStreamResetFlush = 2;
inline constexpr uint8_t kFrameRestart = 0x6C;  // writing 1 drops the frame in progress

inline constexpr uint8_t kExposureLinesLow = 133;
inline constexpr uint8_t kExposureLinesMid = 134;
inline constexpr uint8_t kExposureLinesHigh = 155;

inline constexpr uint8_t kCooler = 151;  // bit 0: Peltier element powered
inline constexpr uint8_t kBusRequest = 0x9F;

inline constexpr uint8_t kCorrectionLevelLow = 208;
inline constexpr uint8_t kCorrectionControl = 209;  // bit 0: replace defective pixels
inline constexpr uint8_t kCorrectionLevelHigh = 210;

inline constexpr uint8_t kTemperatureLow = 229;  // copy of the sensor's temperature value
inline constexpr uint8_t kTemperatureHigh = 230;

// Values after power-up (the FIFO cut matches the full sensor array, 8-bit packing).
inline constexpr uint16_t kPowerUpWidth = 2048;
inline constexpr uint16_t kPowerUpHeight = 1536;
inline constexpr uint8_t kPowerUpFormat = 25;

}  // namespace nivexa::sim::fpga

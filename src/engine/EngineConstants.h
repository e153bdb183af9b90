#pragma once

#include <cstdint>

#include "sensors/FpgaRegisters.h"

namespace nivexa::engine {

// How the products differ is the family table's to say (family::Trait, family::Group); the
// engine reads its open product's row and names no other product.
inline constexpr int kProductIdNone = -1;
inline constexpr int kProductM7qxTec = 0x33D0;  // this product: cooled SWIR, normal orientation

// Capture modes of StartCapture and SetCaptureMode.
inline constexpr int kCaptureContinuous = 0;
inline constexpr int kCaptureOneFrame = 1;
inline constexpr int kCaptureTriggered = 2;   // one frame per FPGA frame-counter step
inline constexpr int kCaptureHeaderOnly = 3;  // reads one frame header and stops

// What WaitForFrame answers.
inline constexpr int kWaitTransferFailed = 1;  // the capture failed: the camera is lost
inline constexpr int kWaitNoNewFrame = 2;      // timed out, or woken with nothing new
inline constexpr int kWaitNewFrame = 3;

inline constexpr int kMaxDevices = 32;
inline constexpr int kDefaultRingSlots = 4;
inline constexpr int kStampedRingSlots = 8;
inline constexpr uint32_t kDefaultFrameTimeoutMs = 5000;
// How long a serial-bus access through the FPGA waits for the bus to come free.
inline constexpr uint32_t kFpgaReadyLimitMs = 3000;
// How long the one-shot capture waits for each frame header and payload.
inline constexpr uint32_t kOneShotLimitMs = 3000;
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

#pragma once

#include <cstdint>

// What the camera's FX3 firmware answers on endpoint 0, and the devices on its serial bus.
namespace nivexa::sim::fx3 {

inline constexpr uint8_t kTypeVendorOut = 0x40;
inline constexpr uint8_t kTypeVendorIn = 0xC0;
inline constexpr uint8_t kTypeVendorOutEndpoint = 0x42;
inline constexpr uint8_t kDirectionIn = 0x80;

inline constexpr uint8_t kBusWrite = 0x30;
inline constexpr uint8_t kBusRead = 0x31;
inline constexpr uint8_t kWriteControlByte = 0x3C;
inline constexpr uint8_t kReadControlByte = 0x3D;
inline constexpr uint8_t kWriteSensorWord = 0x3E;
inline constexpr uint8_t kReadSensorWord = 0x3F;
inline constexpr uint8_t kDeviceInfo = 0xB0;
inline constexpr uint8_t kExtendedInfo = 0xB1;
inline constexpr uint8_t kStartStream = 0xC0;
inline constexpr uint8_t kRequestFrame = 0xC2;
inline constexpr uint8_t kStatusByte = 0xC3;
inline constexpr uint8_t kEndpointCommand = 0xCC;
inline constexpr uint8_t kWriteRegister32 = 0xD0;
inline constexpr uint8_t kReadRegister16 = 0xD1;

inline constexpr uint32_t kControlBufferSize = 64;  // the firmware's endpoint-0 buffer
inline constexpr uint32_t kMaxBusTransfer = 64;

// Device information block (0xB0).
inline constexpr int kInfoVendorId = 0;
inline constexpr int kInfoProductId = 2;
inline constexpr int kInfoFirmwareVersion = 24;
inline constexpr int kInfoGpio25 = 52;
// Extended block (0xB1).
inline constexpr int kExtFpgaVersion = 0;
inline constexpr int kExtSerial = 8;  // up to 32 characters, zero padded

inline constexpr uint8_t kStatusFpgaReady = 1;

// Serial-bus device address bytes in their write form; a read names the device with bit 0 set.
inline constexpr uint8_t kBusReadBit = 0x01;
inline constexpr uint8_t kFpgaAddress = 0x40;
inline constexpr uint8_t kAuxAddress = 0x5A;
inline constexpr uint8_t kEepromAddress = 0xA2;
inline constexpr uint8_t kSensorAddress = 72;

// Bulk endpoints.
inline constexpr uint8_t kFrameEndpoint = 0x81;
inline constexpr uint8_t kCommandEndpoint = 0x01;

// Frame header on the frame endpoint (64 bytes, little-endian).
inline constexpr uint32_t kFrameHeaderSize = 64;
inline constexpr int kHeaderWidth = 8;    // u16
inline constexpr int kHeaderHeight = 10;  // u16
inline constexpr int kHeaderBits = 12;    // u8: 8 or 16
inline constexpr int kHeaderPayloadLength = 16;
inline constexpr int kHeaderExposureLines = 28;  // information word A
inline constexpr int kHeaderFrameCounter = 32;
inline constexpr int kHeaderExposureUs = 40;   // information word B
inline constexpr int kHeaderTemperature = 44;  // information word C: raw temperature value

// USB status the host controller reports for a transfer that ended in a stall.
inline constexpr uint32_t kUsbStatusStall = 0xC0000004;

// Bus speed codes of the driver.
inline constexpr uint32_t kSuperSpeed = 4;

}  // namespace nivexa::sim::fx3

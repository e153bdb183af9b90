#pragma once

#include <cstddef>
#include <cstdint>

// The camera's FX3 controller as the host sees it: vendor request codes, serial-bus device
// addresses, the FPGA registers the transport itself touches, endpoints and timing.
namespace nivexa::transport::fx3 {

// bmRequestType values of the vendor requests.
inline constexpr uint8_t kTypeVendorOut = 0x40;          // host to device, recipient device
inline constexpr uint8_t kTypeVendorIn = 0xC0;           // device to host, recipient device
inline constexpr uint8_t kTypeVendorOutEndpoint = 0x42;  // host to device, recipient endpoint

// Vendor request codes.
inline constexpr uint8_t kReqBusWrite = 0x30;
inline constexpr uint8_t kReqBusRead = 0x31;
inline constexpr uint8_t kReqWriteControlByte = 0x3C;
inline constexpr uint8_t kReqReadControlByte = 0x3D;
inline constexpr uint8_t kReqWriteSensorWord = 0x3E;
inline constexpr uint8_t kReqReadSensorWord = 0x3F;
inline constexpr uint8_t kReqDeviceInfo = 0xB0;
inline constexpr uint8_t kReqExtendedInfo = 0xB1;
inline constexpr uint8_t kReqStartStream = 0xC0;
inline constexpr uint8_t kReqFrame = 0xC2;
inline constexpr uint8_t kReqStatusByte = 0xC3;
inline constexpr uint8_t kReqEndpointCommand = 0xCC;
inline constexpr uint8_t kReqWriteRegister32 = 0xD0;
inline constexpr uint8_t kReqReadRegister16 = 0xD1;

// Serial-bus device address bytes (write form; the read form has bit 0 set).
inline constexpr uint8_t kBusFpga = 0x40;
inline constexpr uint8_t kBusAux = 0x5A;
inline constexpr uint8_t kBusEeprom = 0xA2;
inline constexpr uint8_t kBusReadBit = 0x01;
inline constexpr size_t kBusMaxBytes = 64;

// FPGA registers used by the transport.
inline constexpr uint8_t kFpgaVersionLow = 0x10;
inline constexpr uint8_t kFpgaVersionHigh = 0x11;
inline constexpr uint8_t kFpgaHeaderRecover = 0x6C;  // pulsed 1, 0 after a lost frame header

// Endpoints.
inline constexpr uint8_t kEndpointFrames = 0x81;    // bulk IN: frames and memory reads
inline constexpr uint8_t kEndpointCommands = 0x01;  // bulk OUT: memory commands and writes
inline constexpr uint8_t kEndpointAux = 0x83;       // bulk IN of one earlier product

// Sizes.
inline constexpr size_t kRecordSize = 38;
inline constexpr size_t kVendorDataSize = 64;
inline constexpr size_t kVendorBlockSize = kRecordSize + kVendorDataSize;  // 102
inline constexpr uint32_t kVendorTimeLimitSeconds = 3;
inline constexpr size_t kMaxTransfer = 0x4000000;  // 64 MiB
inline constexpr size_t kTransferBufferSize = kMaxTransfer + kRecordSize;
inline constexpr size_t kFrameHeaderSize = 64;
inline constexpr size_t kPayloadPiece = 0x80000;       // 512 KiB
inline constexpr size_t kCommandReadPiece = 0x400000;  // 4 MiB
inline constexpr size_t kCommandReadUnit = 16384;
inline constexpr size_t kMemoryPiece = 0x1000000;  // 16 MiB
inline constexpr size_t kMemoryUnit = 4096;

// Timing, milliseconds.
inline constexpr uint32_t kEepromWriteSettleMs = 14;  // EEPROM page write cycle
inline constexpr uint32_t kEepromReadSettleMs = 10;   // address latch before the read
inline constexpr uint32_t kFixedTransferLimitMs = 3000;
inline constexpr uint32_t kArmedTransferLimitMs = 5000;
inline constexpr uint32_t kBufferedTransferLimitMs = 3000;
inline constexpr uint32_t kHeaderLimitMs = 200;
inline constexpr int kHeaderAttempts = 30;
inline constexpr uint32_t kHeaderRecoverPauseMs = 10;
inline constexpr uint32_t kAbortGraceMs = 50;
// Longest wait for a driver to let go of a cancelled request before the next, harder step.
inline constexpr uint32_t kCancelLimitMs = 1000;
inline constexpr uint32_t kStatusFailurePauseMs = 1;

// Product IDs whose frame read differs.
inline constexpr uint16_t kProductCommandPerPiece = 0x3310;

}  // namespace nivexa::transport::fx3

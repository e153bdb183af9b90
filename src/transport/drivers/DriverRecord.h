#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace nivexa::transport {

// The driver's 38-byte request record, decoded field by field as the kernel driver reads it.
struct DriverRecord {
  static constexpr size_t kSize = 38;
  static constexpr size_t kDriverStatusOffset = 14;
  static constexpr size_t kUsbStatusOffset = 18;
  // A vendor request travels as one block: the record, then a fixed data area.
  static constexpr size_t kVendorDataSize = 64;
  static constexpr size_t kVendorBlockSize = kSize + kVendorDataSize;
  // What the driver writes into the status fields of a transfer that failed, and into the USB
  // status of one the device answered with a stall.
  static constexpr uint32_t kStatusUnsuccessful = 0xC0000001;
  static constexpr uint32_t kUsbStatusStall = 0xC0000004;

  uint8_t requestType = 0;
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;
  uint32_t timeLimitS = 0;
  uint8_t endpoint = 0;
  uint32_t driverStatus = 0;
  uint32_t usbStatus = 0;
  uint32_t dataOffset = 0;
  uint32_t dataLength = 0;
};

// Empty when fewer than 38 bytes are given.
std::optional<DriverRecord> decodeDriverRecord(std::span<const uint8_t> bytes);
// The two fields the driver returns in the caller's record.
void writeDriverStatus(std::span<uint8_t> record, uint32_t driverStatus, uint32_t usbStatus);

// Whether a record has the form of the request `code` (a vendor request block, or a direct or
// buffered transfer) with buffers of these sizes. A driver checks this before anything reaches
// the bus and fails a malformed request outright: the camera never sees it.
bool wellFormedRecord(uint32_t code, const DriverRecord& record, size_t inSize, size_t outSize);

}  // namespace nivexa::transport

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "transport/Fx3Protocol.h"

namespace nivexa::transport {

// The 38-byte record that heads every vendor request block and every bulk transfer request of
// the FX3 driver.
struct RequestRecord {
  uint8_t requestType = 0;
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;
  uint32_t timeLimitSeconds = 0;
  uint8_t endpoint = 0;
  uint32_t driverStatus = 0;
  uint32_t usbStatus = 0;
  uint32_t isoPacketOffset = 0;
  uint32_t isoPacketLength = 0;
  uint32_t dataOffset = 0;
  uint32_t dataLength = 0;
};

// Writes all 38 bytes (the reserved byte as 0).
void encodeRequestRecord(const RequestRecord& record, std::span<uint8_t, fx3::kRecordSize> out);
RequestRecord decodeRequestRecord(std::span<const uint8_t, fx3::kRecordSize> in);

using VendorBlock = std::array<uint8_t, fx3::kVendorBlockSize>;
// A vendor request block as the driver takes it: `setup`'s request fields and time limit in the
// record, whose length, data offset and data length this fills in (the driver wants the size of
// the whole block as the length, not that of the data), then `payload` in the data area. Nullopt
// when the payload does not fit the data area.
std::optional<VendorBlock> encodeVendorBlock(RequestRecord setup, std::span<const uint8_t> payload);

}  // namespace nivexa::transport

#include "transport/drivers/DriverRecord.h"

#include "transport/drivers/Fx3Driver.h"

namespace nivexa::transport {
namespace {

uint16_t u16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t u32(std::span<const uint8_t> b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void put32(std::span<uint8_t> b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
}

}  // namespace

std::optional<DriverRecord> decodeDriverRecord(std::span<const uint8_t> b) {
  if (b.size() < DriverRecord::kSize) {
    return std::nullopt;
  }
  DriverRecord r;
  r.requestType = b[0];
  r.request = b[1];
  r.value = u16(b, 2);
  r.index = u16(b, 4);
  r.length = u16(b, 6);
  r.timeLimitS = u32(b, 8);
  r.endpoint = b[13];
  r.driverStatus = u32(b, DriverRecord::kDriverStatusOffset);
  r.usbStatus = u32(b, DriverRecord::kUsbStatusOffset);
  r.dataOffset = u32(b, 30);
  r.dataLength = u32(b, 34);
  return r;
}

void writeDriverStatus(std::span<uint8_t> record, uint32_t driverStatus, uint32_t usbStatus) {
  if (record.size() >= DriverRecord::kSize) {
    put32(record, DriverRecord::kDriverStatusOffset, driverStatus);
    put32(record, DriverRecord::kUsbStatusOffset, usbStatus);
  }
}

bool wellFormedRecord(uint32_t code, const DriverRecord& r, size_t inSize, size_t outSize) {
  switch (code) {
    case kIoctlVendorRequest:
      // The length field counts the whole block, record included, not just the data.
      return inSize >= DriverRecord::kVendorBlockSize &&
             outSize >= DriverRecord::kVendorBlockSize &&
             r.length == DriverRecord::kVendorBlockSize && r.dataOffset == DriverRecord::kSize &&
             r.dataLength == DriverRecord::kVendorDataSize;
    case kIoctlDirectTransfer:
      // The data goes straight into the output buffer; the record describes none of it.
      return r.dataOffset == 0 && r.dataLength == 0;
    case kIoctlBufferedTransfer:
      return r.dataOffset == DriverRecord::kSize &&
             uint64_t{r.dataOffset} + r.dataLength <= inSize &&
             uint64_t{r.dataOffset} + r.dataLength <= outSize;
    default:
      return false;
  }
}

}  // namespace nivexa::transport

#include "transport/drivers/DriverRecord.h"

#include "platform/ByteOrder.h"
#include "transport/drivers/Fx3Driver.h"

namespace nivexa::transport {
namespace {
constexpr size_t kTypeOffset = 0;
constexpr size_t kRequestOffset = 1;
constexpr size_t kValueOffset = 2;
constexpr size_t kIndexOffset = 4;
constexpr size_t kLengthOffset = 6;
constexpr size_t kTimeLimitOffset = 8;
constexpr size_t kEndpointOffset = 13;
constexpr size_t kDataOffsetOffset = 30;
constexpr size_t kDataLengthOffset = 34;
}  // namespace

std::optional<DriverRecord> decodeDriverRecord(std::span<const uint8_t> b) {
  if (b.size() < DriverRecord::kSize) {
    return std::nullopt;
  }
  DriverRecord r;
  r.requestType = b[kTypeOffset];
  r.request = b[kRequestOffset];
  r.value = platform::loadLe16(b, kValueOffset);
  r.index = platform::loadLe16(b, kIndexOffset);
  r.length = platform::loadLe16(b, kLengthOffset);
  r.timeLimitS = platform::loadLe32(b, kTimeLimitOffset);
  r.endpoint = b[kEndpointOffset];
  r.driverStatus = platform::loadLe32(b, DriverRecord::kDriverStatusOffset);
  r.usbStatus = platform::loadLe32(b, DriverRecord::kUsbStatusOffset);
  r.dataOffset = platform::loadLe32(b, kDataOffsetOffset);
  r.dataLength = platform::loadLe32(b, kDataLengthOffset);
  return r;
}

void writeDriverStatus(std::span<uint8_t> record, uint32_t driverStatus, uint32_t usbStatus) {
  if (record.size() >= DriverRecord::kSize) {
    platform::storeLe32(record, DriverRecord::kDriverStatusOffset, driverStatus);
    platform::storeLe32(record, DriverRecord::kUsbStatusOffset, usbStatus);
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

#include "transport/RequestRecord.h"

#include <algorithm>

#include "platform/ByteOrder.h"

namespace nivexa::transport {

namespace {
constexpr size_t kOffType = 0;
constexpr size_t kOffRequest = 1;
constexpr size_t kOffValue = 2;
constexpr size_t kOffIndex = 4;
constexpr size_t kOffLength = 6;
constexpr size_t kOffTimeLimit = 8;
constexpr size_t kOffReserved = 12;
constexpr size_t kOffEndpoint = 13;
constexpr size_t kOffDriverStatus = 14;
constexpr size_t kOffUsbStatus = 18;
constexpr size_t kOffIsoOffset = 22;
constexpr size_t kOffIsoLength = 26;
constexpr size_t kOffDataOffset = 30;
constexpr size_t kOffDataLength = 34;
}  // namespace

void encodeRequestRecord(const RequestRecord& r, std::span<uint8_t, fx3::kRecordSize> out) {
  out[kOffType] = r.requestType;
  out[kOffRequest] = r.request;
  platform::storeLe16(out, kOffValue, r.value);
  platform::storeLe16(out, kOffIndex, r.index);
  platform::storeLe16(out, kOffLength, r.length);
  platform::storeLe32(out, kOffTimeLimit, r.timeLimitSeconds);
  out[kOffReserved] = 0;
  out[kOffEndpoint] = r.endpoint;
  platform::storeLe32(out, kOffDriverStatus, r.driverStatus);
  platform::storeLe32(out, kOffUsbStatus, r.usbStatus);
  platform::storeLe32(out, kOffIsoOffset, r.isoPacketOffset);
  platform::storeLe32(out, kOffIsoLength, r.isoPacketLength);
  platform::storeLe32(out, kOffDataOffset, r.dataOffset);
  platform::storeLe32(out, kOffDataLength, r.dataLength);
}

RequestRecord decodeRequestRecord(std::span<const uint8_t, fx3::kRecordSize> in) {
  RequestRecord r;
  r.requestType = in[kOffType];
  r.request = in[kOffRequest];
  r.value = platform::loadLe16(in, kOffValue);
  r.index = platform::loadLe16(in, kOffIndex);
  r.length = platform::loadLe16(in, kOffLength);
  r.timeLimitSeconds = platform::loadLe32(in, kOffTimeLimit);
  r.endpoint = in[kOffEndpoint];
  r.driverStatus = platform::loadLe32(in, kOffDriverStatus);
  r.usbStatus = platform::loadLe32(in, kOffUsbStatus);
  r.isoPacketOffset = platform::loadLe32(in, kOffIsoOffset);
  r.isoPacketLength = platform::loadLe32(in, kOffIsoLength);
  r.dataOffset = platform::loadLe32(in, kOffDataOffset);
  r.dataLength = platform::loadLe32(in, kOffDataLength);
  return r;
}

std::optional<VendorBlock> encodeVendorBlock(RequestRecord setup,
                                             std::span<const uint8_t> payload) {
  if (payload.size() > fx3::kVendorDataSize) {
    return std::nullopt;
  }
  VendorBlock block{};
  setup.length = static_cast<uint16_t>(fx3::kVendorBlockSize);
  setup.dataOffset = fx3::kRecordSize;
  setup.dataLength = fx3::kVendorDataSize;
  encodeRequestRecord(setup, std::span(block).first<fx3::kRecordSize>());
  std::ranges::copy(payload, block.begin() + fx3::kRecordSize);
  return block;
}

}  // namespace nivexa::transport

#include "transport/RequestRecord.h"

#include "transport/LittleEndian.h"

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
  le::put16(out, kOffValue, r.value);
  le::put16(out, kOffIndex, r.index);
  le::put16(out, kOffLength, r.length);
  le::put32(out, kOffTimeLimit, r.timeLimitSeconds);
  out[kOffReserved] = 0;
  out[kOffEndpoint] = r.endpoint;
  le::put32(out, kOffDriverStatus, r.driverStatus);
  le::put32(out, kOffUsbStatus, r.usbStatus);
  le::put32(out, kOffIsoOffset, r.isoPacketOffset);
  le::put32(out, kOffIsoLength, r.isoPacketLength);
  le::put32(out, kOffDataOffset, r.dataOffset);
  le::put32(out, kOffDataLength, r.dataLength);
}

RequestRecord decodeRequestRecord(std::span<const uint8_t, fx3::kRecordSize> in) {
  RequestRecord r;
  r.requestType = in[kOffType];
  r.request = in[kOffRequest];
  r.value = le::get16(in, kOffValue);
  r.index = le::get16(in, kOffIndex);
  r.length = le::get16(in, kOffLength);
  r.timeLimitSeconds = le::get32(in, kOffTimeLimit);
  r.endpoint = in[kOffEndpoint];
  r.driverStatus = le::get32(in, kOffDriverStatus);
  r.usbStatus = le::get32(in, kOffUsbStatus);
  r.isoPacketOffset = le::get32(in, kOffIsoOffset);
  r.isoPacketLength = le::get32(in, kOffIsoLength);
  r.dataOffset = le::get32(in, kOffDataOffset);
  r.dataLength = le::get32(in, kOffDataLength);
  return r;
}

}  // namespace nivexa::transport

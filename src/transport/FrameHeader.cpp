#include "transport/FrameHeader.h"

#include "platform/ByteOrder.h"

namespace nivexa::transport {

namespace {
constexpr size_t kOffLegacy = 4;
constexpr size_t kOffPayloadLength = 16;
constexpr size_t kOffInfoA = 28;
constexpr size_t kOffCounter = 32;
constexpr size_t kOffInfoB = 40;
constexpr size_t kOffInfoC = 44;
constexpr size_t kOffStamp = 44;
constexpr size_t kOffStampHigh = kOffStamp + 4;
constexpr unsigned kHalfBits = 32;
}  // namespace

FrameHeaderFields decodeFrameHeader(std::span<const uint8_t, fx3::kFrameHeaderSize> header) {
  FrameHeaderFields f;
  f.legacyByte = header[kOffLegacy];
  f.payloadLength = platform::loadLe32(header, kOffPayloadLength);
  f.infoA = platform::loadLe32(header, kOffInfoA);
  f.frameCounter = platform::loadLe32(header, kOffCounter);
  f.infoB = platform::loadLe32(header, kOffInfoB);
  f.infoC = platform::loadLe32(header, kOffInfoC);
  f.stamp = platform::loadLe64(header, kOffStamp);
  return f;
}

void encodeFrameHeader(const FrameHeaderFields& f,
                       std::span<uint8_t, fx3::kFrameHeaderSize> header) {
  header[kOffLegacy] = f.legacyByte;
  platform::storeLe32(header, kOffPayloadLength, f.payloadLength);
  platform::storeLe32(header, kOffInfoA, f.infoA);
  platform::storeLe32(header, kOffCounter, f.frameCounter);
  platform::storeLe32(header, kOffInfoB, f.infoB);
  platform::storeLe32(header, kOffInfoC, f.infoC);
  platform::storeLe32(header, kOffStampHigh, static_cast<uint32_t>(f.stamp >> kHalfBits));
}

}  // namespace nivexa::transport

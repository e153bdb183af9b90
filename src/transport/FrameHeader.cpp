#include "transport/FrameHeader.h"

#include "transport/LittleEndian.h"

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
  f.payloadLength = le::get32(header, kOffPayloadLength);
  f.infoA = le::get32(header, kOffInfoA);
  f.frameCounter = le::get32(header, kOffCounter);
  f.infoB = le::get32(header, kOffInfoB);
  f.infoC = le::get32(header, kOffInfoC);
  f.stamp = static_cast<uint64_t>(le::get32(header, kOffStampHigh)) << kHalfBits |
            le::get32(header, kOffStamp);
  return f;
}

void encodeFrameHeader(const FrameHeaderFields& f,
                       std::span<uint8_t, fx3::kFrameHeaderSize> header) {
  header[kOffLegacy] = f.legacyByte;
  le::put32(header, kOffPayloadLength, f.payloadLength);
  le::put32(header, kOffInfoA, f.infoA);
  le::put32(header, kOffCounter, f.frameCounter);
  le::put32(header, kOffInfoB, f.infoB);
  le::put32(header, kOffInfoC, f.infoC);
  le::put32(header, kOffStampHigh, static_cast<uint32_t>(f.stamp >> kHalfBits));
}

}  // namespace nivexa::transport

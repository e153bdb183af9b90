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
}  // namespace

FrameHeaderFields decodeFrameHeader(std::span<const uint8_t, fx3::kFrameHeaderSize> header) {
  FrameHeaderFields f;
  f.legacyByte = header[kOffLegacy];
  f.payloadLength = le::get32(header, kOffPayloadLength);
  f.infoA = le::get32(header, kOffInfoA);
  f.frameCounter = le::get32(header, kOffCounter);
  f.infoB = le::get32(header, kOffInfoB);
  f.infoC = le::get32(header, kOffInfoC);
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
}

}  // namespace nivexa::transport

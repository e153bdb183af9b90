#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "transport/Fx3Protocol.h"

namespace nivexa::transport {

// Filled by ReadFrameHeader, read by ReadFramePayload and ReadFrameAux. The caller owns it,
// clears it before use and sets the receive buffer (and, for ReadFrameAux, the read length).
struct FrameDescriptor {
  std::array<uint8_t, fx3::kFrameHeaderSize> header{};
  uint32_t frameCounter = 0;
  std::span<uint8_t> receiveBuffer;
  uint32_t auxReadLength = 0;
};

// The fields of the 64-byte frame header that the host reads.
struct FrameHeaderFields {
  uint8_t legacyByte = 0;  // offset 4, kept for one earlier product
  uint32_t payloadLength = 0;
  uint32_t infoA = 0;
  uint32_t frameCounter = 0;
  uint32_t infoB = 0;
  uint32_t infoC = 0;
  // Eight bytes from infoC's offset: the time stamp of a product that stamps its frames, whose
  // low half is infoC. Encoding writes its high half only, and infoC as the low half.
  uint64_t stamp = 0;
};

FrameHeaderFields decodeFrameHeader(std::span<const uint8_t, fx3::kFrameHeaderSize> header);
void encodeFrameHeader(const FrameHeaderFields& fields,
                       std::span<uint8_t, fx3::kFrameHeaderSize> header);

}  // namespace nivexa::transport

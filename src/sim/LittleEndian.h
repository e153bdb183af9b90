#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Little-endian fields of the camera's replies and frame headers, byte by byte.
namespace nivexa::sim {

inline void putU16(std::span<uint8_t> b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void putU32(std::span<uint8_t> b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) {
    b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
}

inline uint32_t getU32(std::span<const uint8_t> b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

}  // namespace nivexa::sim

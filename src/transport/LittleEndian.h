#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Byte-by-byte little-endian access for the wire formats; callers have checked the bounds.
namespace nivexa::transport::le {

inline uint16_t get16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline uint32_t get32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<uint32_t>(bytes[at + 2]) << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

inline void put16(std::span<uint8_t> bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void put32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

}  // namespace nivexa::transport::le

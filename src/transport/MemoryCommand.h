#pragma once

#include <cstdint>
#include <span>

namespace nivexa::transport {

inline constexpr size_t kMemoryCommandSize = 32;

enum class MemoryDirection { Read, Write };

// The 32-byte command sent on bulk OUT endpoint 0x01 before each piece of a memory read or
// write: magic "AU3R" or "AU3W", the constant 2, the 64-bit address, the piece's byte count.
void encodeMemoryCommand(MemoryDirection direction, uint64_t address, uint32_t byteCount,
                         std::span<uint8_t, kMemoryCommandSize> out);

}  // namespace nivexa::transport

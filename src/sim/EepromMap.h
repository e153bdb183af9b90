#pragma once

#include <cstdint>

// The configuration EEPROM on the camera's serial bus: 16-bit byte addresses.
namespace nivexa::sim::eeprom {

inline constexpr uint32_t kSize = 0x10000;
inline constexpr uint16_t kUserAreaEnd = 0x1000;  // 0x000-0xFFF belong to the user
inline constexpr uint16_t kSerialNumber = 0x1040;
inline constexpr uint32_t kSerialNumberMax = 32;  // text ends at the first 0xFF
inline constexpr uint8_t kErased = 0xFF;
// The chip ignores its bus while it programs a page.
inline constexpr uint32_t kWriteCycleUs = 5000;

}  // namespace nivexa::sim::eeprom

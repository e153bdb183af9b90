#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

namespace nivexa::platform::win32 {

// Our GUIDs are bytes in the order of their text form; the system's GUID keeps its first three
// fields as native integers.
inline GUID toGuid(const std::array<uint8_t, 16>& bytes) {
  GUID guid{};
  guid.Data1 =
      (static_cast<unsigned long>(bytes[0]) << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
  guid.Data2 = static_cast<unsigned short>((bytes[4] << 8) | bytes[5]);
  guid.Data3 = static_cast<unsigned short>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) {
    guid.Data4[i] = bytes[8 + i];
  }
  return guid;
}

}  // namespace nivexa::platform::win32

#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "platform/ByteOrder.h"

namespace nivexa::platform::win32 {

// Our GUIDs are bytes in the order of their text form; the system's GUID keeps its first three
// fields as native integers.
inline GUID toGuid(const std::array<uint8_t, 16>& bytes) {
  constexpr size_t kData2At = 4;
  constexpr size_t kData3At = 6;
  constexpr size_t kData4At = 8;
  GUID guid{};
  guid.Data1 = loadBe32(bytes, 0);
  guid.Data2 = loadBe16(bytes, kData2At);
  guid.Data3 = loadBe16(bytes, kData3At);
  for (size_t i = 0; i < sizeof guid.Data4; ++i) {
    guid.Data4[i] = bytes[kData4At + i];
  }
  return guid;
}

}  // namespace nivexa::platform::win32

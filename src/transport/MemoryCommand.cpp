#include "transport/MemoryCommand.h"

#include <algorithm>

#include "platform/ByteOrder.h"

namespace nivexa::transport {

namespace {
constexpr uint32_t kCommandKind = 2;
}

void encodeMemoryCommand(MemoryDirection direction, uint64_t address, uint32_t byteCount,
                         std::span<uint8_t, kMemoryCommandSize> out) {
  std::ranges::fill(out, uint8_t{0});
  out[0] = 'A';
  out[1] = 'U';
  out[2] = '3';
  out[3] = direction == MemoryDirection::Read ? 'R' : 'W';
  platform::storeLe32(out, 4, kCommandKind);
  platform::storeLe32(out, 8, static_cast<uint32_t>(address));
  platform::storeLe32(out, 12, static_cast<uint32_t>(address >> 32));
  platform::storeLe32(out, 16, byteCount);
}

}  // namespace nivexa::transport

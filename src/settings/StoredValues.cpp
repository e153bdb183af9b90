#include "settings/StoredValues.h"

#include <bit>

#include "platform/ByteOrder.h"

namespace nivexa::settings {

std::array<uint8_t, 8> encodeDouble(double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  std::array<uint8_t, sizeof bits> bytes{};
  platform::storeLe64(bytes, 0, bits);
  return bytes;
}

std::optional<double> decodeDouble(std::span<const uint8_t> bytes) {
  if (bytes.size() != sizeof(double)) {
    return std::nullopt;
  }
  return std::bit_cast<double>(platform::loadLe64(bytes, 0));
}

}  // namespace nivexa::settings

#include "settings/StoredValues.h"

#include <bit>

namespace nivexa::settings {

std::array<uint8_t, 8> encodeDouble(double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  std::array<uint8_t, 8> bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  }
  return bytes;
}

std::optional<double> decodeDouble(std::span<const uint8_t> bytes) {
  if (bytes.size() != 8) {
    return std::nullopt;
  }
  uint64_t bits = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    bits |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  }
  return std::bit_cast<double>(bits);
}

}  // namespace nivexa::settings

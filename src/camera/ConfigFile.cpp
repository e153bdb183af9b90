#include "camera/ConfigFile.h"

namespace nivexa::camera {

namespace {

int32_t readLe32(std::span<const uint8_t> bytes) {
  return static_cast<int32_t>(
      static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
      static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

}  // namespace

std::vector<std::pair<int32_t, int32_t>> parseConfigRecords(std::span<const uint8_t> bytes) {
  constexpr size_t kRecordBytes = 8;
  std::vector<std::pair<int32_t, int32_t>> records;
  records.reserve(bytes.size() / kRecordBytes);
  for (size_t at = 0; at + kRecordBytes <= bytes.size(); at += kRecordBytes) {
    records.emplace_back(readLe32(bytes.subspan(at, 4)), readLe32(bytes.subspan(at + 4, 4)));
  }
  return records;
}

}  // namespace nivexa::camera

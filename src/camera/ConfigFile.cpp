#include "camera/ConfigFile.h"

#include "platform/ByteOrder.h"
#include "platform/Files.h"

namespace nivexa::camera {

std::vector<std::pair<int32_t, int32_t>> parseConfigRecords(std::span<const uint8_t> bytes) {
  constexpr size_t kRecordBytes = 8;
  std::vector<std::pair<int32_t, int32_t>> records;
  records.reserve(bytes.size() / kRecordBytes);
  for (size_t at = 0; at + kRecordBytes <= bytes.size(); at += kRecordBytes) {
    records.emplace_back(static_cast<int32_t>(platform::loadLe32(bytes, at)),
                         static_cast<int32_t>(platform::loadLe32(bytes, at + 4)));
  }
  return records;
}

std::optional<std::vector<std::pair<int32_t, int32_t>>> readConfigFile(const char* path) {
  const auto bytes = platform::readWholeFile(path, kMaxConfigFileBytes);
  if (!bytes) {
    return std::nullopt;
  }
  return parseConfigRecords(*bytes);
}

}  // namespace nivexa::camera

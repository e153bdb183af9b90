#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace nivexa::camera {

// Far more records than any configuration has; a larger file is refused unread.
inline constexpr uint64_t kMaxConfigFileBytes = 1u << 20;

// A configuration file is a run of 8-byte records, each two little-endian 32-bit integers; a
// trailing part shorter than a record is ignored.
std::vector<std::pair<int32_t, int32_t>> parseConfigRecords(std::span<const uint8_t> bytes);

// The records of the configuration file at `path`; nullopt when it cannot be read or is larger
// than kMaxConfigFileBytes.
std::optional<std::vector<std::pair<int32_t, int32_t>>> readConfigFile(const char* path);

}  // namespace nivexa::camera

#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace nivexa::platform {

// The whole content of a regular file of at most `maxBytes`, or nullopt when it cannot be opened
// or read, is larger, or is not a regular file (a pipe or a device is refused without waiting on
// it).
std::optional<std::vector<uint8_t>> readWholeFile(const char* path, uint64_t maxBytes);

}  // namespace nivexa::platform

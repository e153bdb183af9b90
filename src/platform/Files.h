#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace nivexa::platform {

// The whole content of a file, or nullopt when it cannot be opened or read.
std::optional<std::vector<uint8_t>> readWholeFile(const char* path);

}  // namespace nivexa::platform

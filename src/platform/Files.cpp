#include "platform/Files.h"

#include "platform/FileIO.h"

namespace nivexa::platform {

std::optional<std::vector<uint8_t>> readWholeFile(const char* path, uint64_t maxBytes) {
  InputFile file;
  if (!file.open(path)) {
    return std::nullopt;
  }
  // The size is checked before anything is allocated: the path may come from anywhere.
  const auto size = file.size();
  if (!size || *size > maxBytes) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(*size));
  if (!file.readExact(bytes)) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace nivexa::platform

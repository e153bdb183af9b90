// libFuzzer entry for the configuration file reader (built by scripts/test.sh when clang is
// there). Any bytes are a configuration file: whole 8-byte records become pairs in file order and
// a shorter tail is ignored, so each pair must give back exactly the bytes it was read from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "camera/ConfigFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto records = nivexa::camera::parseConfigRecords(std::span<const uint8_t>(data, size));
  if (records.size() != size / 8) {
    std::abort();
  }
  for (size_t i = 0; i < records.size(); ++i) {
    const uint32_t values[2] = {static_cast<uint32_t>(records[i].first),
                                static_cast<uint32_t>(records[i].second)};
    for (size_t b = 0; b < 8; ++b) {
      if (static_cast<uint8_t>(values[b / 4] >> (8 * (b % 4))) != data[8 * i + b]) {
        std::abort();
      }
    }
  }
  return 0;
}

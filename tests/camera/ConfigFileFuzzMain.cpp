// libFuzzer entry for the configuration file reader (built by scripts/test.sh when clang is
// there). Any bytes are a configuration file: whole 8-byte records become pairs in file order and
// a shorter tail is ignored, so each pair must give back exactly the bytes it was read from. The
// bytes go through a file and the reader the camera uses, so what is checked is what a camera
// would load.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <system_error>

#include "TestFolder.h"
#include "camera/ConfigFile.h"

namespace {

std::filesystem::path& folder() {
  static std::filesystem::path path;
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  folder() = nivexa::test::makeTestFolder("nivexa-config-fuzz");
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);
  });
  return folder().empty() ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = (folder() / "config.cfg").string();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const auto records = nivexa::camera::readConfigFile(path.c_str());
  if (!records || size > nivexa::camera::kMaxConfigFileBytes) {
    if (records || size <= nivexa::camera::kMaxConfigFileBytes) {
      std::abort();
    }
    return 0;
  }
  if (records->size() != size / 8 ||
      *records != nivexa::camera::parseConfigRecords(std::span<const uint8_t>(data, size))) {
    std::abort();
  }
  for (size_t i = 0; i < records->size(); ++i) {
    const uint32_t values[2] = {static_cast<uint32_t>((*records)[i].first),
                                static_cast<uint32_t>((*records)[i].second)};
    for (size_t b = 0; b < 8; ++b) {
      if (static_cast<uint8_t>(values[b / 4] >> (8 * (b % 4))) != data[8 * i + b]) {
        std::abort();
      }
    }
  }
  return 0;
}

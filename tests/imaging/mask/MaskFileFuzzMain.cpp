// libFuzzer entry for whole mask files, read from disk by the loader the camera uses, for a small
// sensor so that a file with its four references stays a few kilobytes. A file is taken exactly
// when its header is the one written for that sensor and the file holds all four references;
// what is taken must be the file's bytes, and saving it again must write the same file back.
// Anything refused must leave the mask as it was.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "TestFolder.h"
#include "imaging/mask/DefectMask.h"
#include "imaging/mask/MaskFile.h"

using namespace nivexa::imaging::mask;
using nivexa::imaging::DibImage;

namespace {

constexpr MaskSize kSensor{16, 12};

std::filesystem::path& folder() {
  static std::filesystem::path path;
  return path;
}

std::vector<uint8_t> readBack(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool accepts(const uint8_t* data, size_t size) {
  const uint64_t expected = maskFileBytes(maskHeaderFor(kSensor));
  if (size < expected) {
    return false;
  }
  std::array<uint8_t, kHeaderBytes> bytes{};
  std::memcpy(bytes.data(), data, kHeaderBytes);
  const auto header = decodeMaskHeader(bytes);
  return header && isAcceptedMaskHeader(*header, kSensor);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  folder() = nivexa::test::makeTestFolder("nivexa-mask-fuzz");
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);
  });
  return folder().empty() ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = (folder() / "input.msk").string();
  const std::string output = (folder() / "output.msk").string();
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  DefectMask mask;
  if (mask.Create(kSensor) == 0) {
    std::abort();
  }
  const bool loaded = mask.Load(input.c_str());
  if (loaded != accepts(data, size)) {
    std::abort();
  }
  if (!loaded) {
    // Untouched: the dark references stay black.
    for (const uint8_t byte : mask.dark16().pixels()) {
      if (byte != 0) {
        std::abort();
      }
    }
    return 0;
  }
  const DibImage* const references[] = {&mask.dark8(), &mask.white8(), &mask.dark16(),
                                        &mask.white16()};
  size_t at = kHeaderBytes;
  for (const DibImage* reference : references) {
    const auto pixels = reference->pixels();
    if (std::memcmp(pixels.data(), data + at, pixels.size()) != 0) {
      std::abort();
    }
    at += pixels.size();
  }
  if (!mask.Save(output.c_str())) {
    std::abort();
  }
  const auto saved = readBack(output);
  if (saved.size() != at || std::memcmp(saved.data(), data, at) != 0) {
    std::abort();
  }
  return 0;
}

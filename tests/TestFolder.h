#pragma once

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace nivexa::test {

// A new, empty folder named `<stem>-<random>` inside `base`; empty when none could be made. The
// caller removes it.
inline std::filesystem::path makeTestFolder(const std::filesystem::path& base,
                                            const std::string& stem) {
  std::random_device entropy;
  std::mt19937_64 names((static_cast<uint64_t>(entropy()) << 32) ^ entropy());
  for (int attempt = 0; attempt < 64; ++attempt) {
    const std::filesystem::path folder = base / (stem + "-" + std::to_string(names() % 1000000000));
    std::error_code error;
    // False without an error means the name is taken: draw another.
    if (std::filesystem::create_directory(folder, error)) {
      return folder;
    }
    if (error) {
      return {};
    }
  }
  return {};
}

// The same in the system's folder for temporary files.
inline std::filesystem::path makeTestFolder(const std::string& stem) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  return error ? std::filesystem::path() : makeTestFolder(base, stem);
}

}  // namespace nivexa::test

#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// Points the registry store at a fresh folder for the length of one test.
class TemporaryRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    // Memory-backed when the machine has it: the store syncs every save to disk, and the
    // concurrency tests save thousands of times.
    const std::filesystem::path base =
        access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = base / "nivexa-registry-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    file_ = folder_ / "config" / "registry.reg";
    setenv("NIVEXA_REGISTRY_FILE", file_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("NIVEXA_REGISTRY_FILE");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string fileText(const std::filesystem::path& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void writeFile(const std::string& text) const {
    std::filesystem::create_directories(file_.parent_path());
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << text;
  }

  std::filesystem::path folder_;
  std::filesystem::path file_;
};

#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Log.h"

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
    setenv("NIVEXA_LOG", "platform:warning", 1);
    setenv("NIVEXA_LOG_FILE", (folder_ / "log.txt").c_str(), 1);
    nivexa::log::reconfigure();
  }
  void TearDown() override {
    unsetenv("NIVEXA_REGISTRY_FILE");
    unsetenv("NIVEXA_LOG");
    unsetenv("NIVEXA_LOG_FILE");
    nivexa::log::reconfigure();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string fileText(const std::filesystem::path& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The library's log lines written so far in this test.
  std::string logText() const { return fileText(folder_ / "log.txt"); }
  void writeFile(const std::string& text) const {
    std::filesystem::create_directories(file_.parent_path());
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << text;
  }

  std::filesystem::path folder_;
  std::filesystem::path file_;
};

#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "SettingsStore.h"
#include "TestFolder.h"
#include "platform/Log.h"
#include "platform/Process.h"

// Points the registry store at a fresh folder for the length of one test.
class TemporaryRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    // Memory-backed when the machine has it: the store syncs every save to disk, and the
    // concurrency tests save thousands of times.
    folder_ = nivexa::test::makeTestFolder("/dev/shm", "nivexa-registry");
    if (folder_.empty()) {
      folder_ = nivexa::test::makeTestFolder("nivexa-registry");
    }
    ASSERT_FALSE(folder_.empty());
    file_ = folder_ / "config" / "registry.reg";
    ASSERT_TRUE(nivexa::test::useFreshSettingsStore(file_));
    setVariable("NIVEXA_LOG", "platform:warning");
    setVariable("NIVEXA_LOG_FILE", (folder_ / "log.txt").string().c_str());
    nivexa::log::reconfigure();
  }
  void TearDown() override {
    nivexa::test::restoreSettingsStore();
    setVariable("NIVEXA_LOG", nullptr);
    setVariable("NIVEXA_LOG_FILE", nullptr);
    nivexa::log::reconfigure();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // Sets, or with a null value removes, a variable of this process's environment.
  static void setVariable(const char* name, const char* value) {
    ASSERT_TRUE(nivexa::platform::setEnvironmentVariable(name, value)) << name;
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

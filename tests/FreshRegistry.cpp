// Linked into every test program: each test starts with an empty settings store of its own, so
// settings one test leaves behind (every camera handle saves at its release) never change what
// the next one finds, and no test touches the settings of the person running it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "SettingsStore.h"
#include "TestFolder.h"

namespace {

class FreshRegistry : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override {
    folder_ = nivexa::test::makeTestFolder("nivexa-test");
    if (folder_.empty()) {
      return;
    }
    nivexa::test::useFreshSettingsStore(folder_ / "registry.reg");
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    nivexa::test::restoreSettingsStore();
    if (!folder_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(folder_, ignored);
      folder_.clear();
    }
  }

 private:
  std::filesystem::path folder_;
};

const bool kInstalled = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshRegistry);
  return true;
}();

}  // namespace

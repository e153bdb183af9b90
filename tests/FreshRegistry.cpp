// Linked into every test program: each test starts with an empty settings store of its own, so
// settings one test leaves behind (every camera handle saves at its release) never change what
// the next one finds, and no test touches the settings of the person running it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace {

class FreshRegistry : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override {
    std::string pattern = (std::filesystem::temp_directory_path() / "nivexa-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      return;
    }
    folder_ = pattern;
    setenv("NIVEXA_REGISTRY_FILE", (folder_ / "registry.reg").c_str(), 1);
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    unsetenv("NIVEXA_REGISTRY_FILE");
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

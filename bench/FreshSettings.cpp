// Linked into every benchmark program: a camera handle saves its settings when it is released,
// as an application's does, so without a store of its own each run would measure a camera set
// up by the run before it (or by the person running it): one stored long exposure slows every
// case at the camera's own timing.
#include <filesystem>
#include <system_error>

#include "SettingsStore.h"
#include "TestFolder.h"

namespace {

class FreshSettings {
 public:
  FreshSettings() : folder_(nivexa::test::makeTestFolder("nivexa-bench")) {
    if (!folder_.empty()) {
      nivexa::test::useFreshSettingsStore(folder_ / "registry.reg");
    }
  }
  ~FreshSettings() {
    nivexa::test::restoreSettingsStore();
    if (!folder_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(folder_, ignored);
    }
  }
  FreshSettings(const FreshSettings&) = delete;
  FreshSettings& operator=(const FreshSettings&) = delete;

 private:
  std::filesystem::path folder_;
};

const FreshSettings kFreshSettings;

}  // namespace

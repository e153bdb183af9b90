#include "SettingsStore.h"

#include "platform/Process.h"

namespace nivexa::test {

bool useFreshSettingsStore(const std::filesystem::path& file) {
  return platform::setEnvironmentVariable("NIVEXA_REGISTRY_FILE", file.string().c_str());
}

void restoreSettingsStore() {
  platform::setEnvironmentVariable("NIVEXA_REGISTRY_FILE", nullptr);
}

}  // namespace nivexa::test

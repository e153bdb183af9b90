// libFuzzer entry for whole settings-store files, read and rewritten by the file store itself
// (locks, encodings, the set-aside of a damaged file) rather than by the text parser alone. Every
// key of a file that parses must be seen through the store as the parser read it; a save must
// keep every one of them and add what it saved; a file that does not parse must be set aside
// byte for byte and the save must start from an empty store.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "TestFolder.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/RegistryText.h"

using namespace nivexa::platform;

namespace {

constexpr std::string_view kProbeKey = "NivexaFuzz\\Probe";
constexpr std::string_view kProbeValue = "saved";
constexpr uint32_t kProbeNumber = 0x5EED1234;

std::filesystem::path& folder() {
  static std::filesystem::path path;
  return path;
}

std::string readBack(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// The probe key and its parents may appear in the saved store beside the file's own keys.
bool isProbeOrParent(const std::string& path) {
  const regtext::Document probe = [] {
    regtext::Document d;
    d.create(kProbeKey);
    return d;
  }();
  return probe.exists(path);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  folder() = nivexa::test::makeTestFolder("nivexa-registry-fuzz");
  if (folder().empty()) {
    return 1;
  }
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);
  });
  setEnvironmentVariable("NIVEXA_REGISTRY_FILE", (folder() / "registry.reg").string().c_str());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder(), ignored)) {
    std::filesystem::remove_all(entry.path(), ignored);
  }
  const std::filesystem::path file = folder() / "registry.reg";
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(input.data(), static_cast<std::streamsize>(input.size()));
  }
  const regtext::ParseResult original = regtext::parse(input);

  if (original.ok) {
    for (const auto& [folded, key] : original.document.keys()) {
      const auto opened = RegistryKey::open(key.path());
      check(opened != nullptr);
      size_t values = 0;
      for (const regtext::Value& value : key.values()) {
        ++values;
        uint32_t number = 0;
        if (value.type == regtext::kTypeDword && regtext::dwordFromBytes(value.data, number)) {
          check(opened->queryDword(value.name) == number);
        }
      }
      check(opened->valueNames().size() == values);
    }
  }

  RegistryChanges changes;
  changes.setDword(kProbeKey, kProbeValue, kProbeNumber);
  check(changes.apply());
  const auto probe = RegistryKey::open(kProbeKey);
  check(probe != nullptr && probe->queryDword(kProbeValue) == kProbeNumber);

  const regtext::ParseResult saved = regtext::parse(readBack(file));
  check(saved.ok);
  for (const auto& [folded, key] : saved.document.keys()) {
    if (isProbeOrParent(key.path())) {
      continue;
    }
    const regtext::Key* before = original.ok ? original.document.find(key.path()) : nullptr;
    check(before != nullptr && *before == key);
  }
  if (original.ok) {
    for (const auto& [folded, key] : original.document.keys()) {
      check(saved.document.find(key.path()) != nullptr);
    }
  } else {
    // Set aside as it was, so that nothing a person wrote is lost.
    check(readBack(folder() / "registry.reg.bad") == input);
  }
  return 0;
}

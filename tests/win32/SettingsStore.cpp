#include "SettingsStore.h"

#include <windows.h>

#include <random>
#include <string>

namespace nivexa::test {
namespace {

HKEY freshKey = nullptr;
std::string freshPath;

}  // namespace

bool useFreshSettingsStore(const std::filesystem::path&) {
  restoreSettingsStore();
  std::random_device entropy;
  std::string path = "Software\\NivexaTests\\" + std::to_string(entropy()) + "-" +
                     std::to_string(GetCurrentProcessId());
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS) {
    return false;
  }
  // Every later use of HKEY_CURRENT_USER in this process, the library's included, lands in the
  // fresh key.
  if (disposition != REG_CREATED_NEW_KEY ||
      RegOverridePredefKey(HKEY_CURRENT_USER, key) != ERROR_SUCCESS) {
    RegCloseKey(key);
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    return false;
  }
  freshKey = key;
  freshPath = std::move(path);
  return true;
}

void restoreSettingsStore() {
  if (freshKey == nullptr) {
    return;
  }
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegCloseKey(freshKey);
  RegDeleteTreeA(HKEY_CURRENT_USER, freshPath.c_str());
  freshKey = nullptr;
  freshPath.clear();
}

}  // namespace nivexa::test

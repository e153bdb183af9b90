// The registry of the current user, through the Win32 registry calls.
#include "platform/Registry.h"

#include <windows.h>

#include "platform/RegistryText.h"

namespace nivexa::platform {

struct RegistryKey::State {
  HKEY key = nullptr;
  ~State() {
    if (key != nullptr) {
      RegCloseKey(key);
    }
  }
};

namespace {

constexpr REGSAM kReadAccess = KEY_READ;
constexpr REGSAM kReadWriteAccess = KEY_READ | KEY_WRITE;

std::unique_ptr<RegistryKey::State> openHandle(HKEY parent, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, path.c_str(), 0, kReadAccess, &key) != ERROR_SUCCESS) {
    return nullptr;
  }
  auto state = std::make_unique<RegistryKey::State>();
  state->key = key;
  return state;
}

std::unique_ptr<RegistryKey::State> createHandle(const std::string& path) {
  // The same names as the file store accepts, so both platforms keep the same keys.
  if (!regtext::validKeyPath(path)) {
    return nullptr;
  }
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      kReadWriteAccess, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  auto state = std::make_unique<RegistryKey::State>();
  state->key = key;
  return state;
}

std::string childPath(const std::string& parent, std::string_view name) {
  return parent.empty() ? std::string(name) : parent + "\\" + std::string(name);
}

// Reads one value of any type; nullopt when it is missing.
std::optional<std::vector<uint8_t>> queryValue(HKEY key, std::string_view name, DWORD& type) {
  const std::string valueName(name);
  DWORD size = 0;
  if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<uint8_t> data(size);
  // The value may grow between the two calls; ask again with the size then reported.
  for (int attempt = 0; attempt < 4; ++attempt) {
    size = static_cast<DWORD>(data.size());
    const LONG result =
        RegQueryValueExA(key, valueName.c_str(), nullptr, &type, data.data(), &size);
    if (result == ERROR_SUCCESS) {
      data.resize(size);
      return data;
    }
    if (result != ERROR_MORE_DATA) {
      return std::nullopt;
    }
    data.resize(size);
  }
  return std::nullopt;
}

bool setValue(HKEY key, std::string_view name, DWORD type, std::span<const uint8_t> bytes) {
  if (!regtext::validValueName(name)) {
    return false;
  }
  const std::string valueName(name);
  return RegSetValueExA(key, valueName.c_str(), 0, type, bytes.data(),
                        static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool applyChange(const RegistryChanges::Change& change) {
  using Kind = RegistryChanges::Change::Kind;
  if (change.kind == Kind::RemoveKey) {
    if (change.keyPath.empty() || !regtext::validKeyPath(change.keyPath)) {
      return false;
    }
    const LONG result = RegDeleteTreeA(HKEY_CURRENT_USER, change.keyPath.c_str());
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
      return false;
    }
    if (result == ERROR_SUCCESS) {
      RegDeleteKeyA(HKEY_CURRENT_USER, change.keyPath.c_str());
    }
    return true;
  }
  const auto state = createHandle(change.keyPath);
  if (!state) {
    return false;
  }
  switch (change.kind) {
    case Kind::CreateKey:
      return true;
    case Kind::SetDword: {
      const auto bytes = regtext::dwordBytes(change.number);
      return setValue(state->key, change.name, REG_DWORD, bytes);
    }
    case Kind::SetBinary:
      return setValue(state->key, change.name, REG_BINARY, change.bytes);
    case Kind::RemoveKey:
      break;
  }
  return false;
}

}  // namespace

RegistryKey::RegistryKey(std::string path, std::unique_ptr<State> state)
    : path_(std::move(path)), state_(std::move(state)) {}

RegistryKey::~RegistryKey() = default;

std::unique_ptr<RegistryKey> RegistryKey::open(std::string_view path) {
  std::string keyPath(path);
  auto state = openHandle(HKEY_CURRENT_USER, keyPath);
  return state ? std::unique_ptr<RegistryKey>(new RegistryKey(std::move(keyPath), std::move(state)))
               : nullptr;
}

std::unique_ptr<RegistryKey> RegistryKey::create(std::string_view path) {
  std::string keyPath(path);
  auto state = createHandle(keyPath);
  return state ? std::unique_ptr<RegistryKey>(new RegistryKey(std::move(keyPath), std::move(state)))
               : nullptr;
}

std::unique_ptr<RegistryKey> RegistryKey::openSubkey(std::string_view name) const {
  auto state = openHandle(state_->key, std::string(name));
  return state ? std::unique_ptr<RegistryKey>(
                     new RegistryKey(childPath(path_, name), std::move(state)))
               : nullptr;
}

std::unique_ptr<RegistryKey> RegistryKey::createSubkey(std::string_view name) const {
  return create(childPath(path_, name));
}

std::vector<std::string> RegistryKey::subkeyNames() const {
  std::vector<std::string> names;
  char name[regtext::kMaxKeyNameLength + 1];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    const LONG result =
        RegEnumKeyExA(state_->key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS || (result != ERROR_SUCCESS && result != ERROR_MORE_DATA)) {
      break;
    }
    if (result == ERROR_SUCCESS) {
      names.emplace_back(name, length);
    }
  }
  return names;
}

std::vector<std::string> RegistryKey::valueNames() const {
  std::vector<std::string> names;
  std::vector<char> name(regtext::kMaxValueNameLength + 1);
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LONG result =
        RegEnumValueA(state_->key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name.data(), length);
  }
  return names;
}

std::optional<uint32_t> RegistryKey::queryDword(std::string_view name) const {
  DWORD type = 0;
  const auto data = queryValue(state_->key, name, type);
  uint32_t value = 0;
  if (!data || type != REG_DWORD || !regtext::dwordFromBytes(*data, value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::vector<uint8_t>> RegistryKey::queryBinary(std::string_view name) const {
  DWORD type = 0;
  auto data = queryValue(state_->key, name, type);
  if (!data || type != REG_BINARY) {
    return std::nullopt;
  }
  return data;
}

// Keys are opened for reading; a write goes through a handle created for it, as on the file
// store.
bool RegistryKey::setDword(std::string_view name, uint32_t value) {
  RegistryChanges changes;
  changes.setDword(path_, name, value);
  return changes.apply();
}

bool RegistryKey::setBinary(std::string_view name, std::span<const uint8_t> bytes) {
  RegistryChanges changes;
  changes.setBinary(path_, name, bytes);
  return changes.apply();
}

bool RegistryChanges::apply() const {
  for (const Change& change : changes_) {
    if (!applyChange(change)) {
      return false;
    }
  }
  return true;
}

std::string registryFilePath() {
  return {};
}

}  // namespace nivexa::platform

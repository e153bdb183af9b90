#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nivexa::platform {

// Keys and values of the current user's registry (HKEY_CURRENT_USER). Paths are relative to it,
// components separated by '\'; names compare without regard to ASCII case.
//
// On Windows this is the real registry. Elsewhere it is one text file per user in the format of
// a registry export (registryFilePath()), read under a shared lock and rewritten whole under an
// exclusive one through a temporary file and a rename, so other programs always see the old or
// the new content and two programs saving at once lose neither's keys. A file that does not parse
// is set aside as "<file>.bad" with one log line, and the store starts empty. A file that is
// there but cannot be read (permissions, an I/O error) is left alone: reads give nothing, every
// save is refused, and one log line says why. Only a missing file is an empty store. The file
// may be UTF-8 or UTF-16LE (as the registry editor exports it); saves write UTF-8.
//
// On the file store an open key shows the store as it was when it was opened (and as its own writes
// left it), and so do the subkeys opened through it: a group of values read through one key never
// mixes two saves of another program. (The Windows registry shows each value as it is at the read.)
//
// Nothing here reports through error codes: a missing key or value is an empty result, a store
// that cannot be written is a false result.
class RegistryKey {
 public:
  // An existing key, or null when it does not exist (RegOpenKeyEx for reading).
  static std::unique_ptr<RegistryKey> open(std::string_view path);
  // The key, created with every missing parent (RegCreateKeyEx); null when the store cannot be
  // written or the path is not a valid key name.
  static std::unique_ptr<RegistryKey> create(std::string_view path);

  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  const std::string& path() const { return path_; }
  std::unique_ptr<RegistryKey> openSubkey(std::string_view name) const;
  std::unique_ptr<RegistryKey> createSubkey(std::string_view name) const;
  std::vector<std::string> subkeyNames() const;
  std::vector<std::string> valueNames() const;

  // Empty when the value is missing or not of that type (a REG_DWORD must hold four bytes).
  std::optional<uint32_t> queryDword(std::string_view name) const;
  std::optional<std::vector<uint8_t>> queryBinary(std::string_view name) const;

  bool setDword(std::string_view name, uint32_t value);
  bool setBinary(std::string_view name, std::span<const uint8_t> bytes);

  struct State;  // the platform's handle on the key

 private:
  RegistryKey(std::string path, std::unique_ptr<State> state);

  std::string path_;
  std::unique_ptr<State> state_;
};

// A group of changes that belong together, applied in one step: on the file store one locked
// rewrite, so others see all of them or none; on Windows the same calls one after the other.
class RegistryChanges {
 public:
  void createKey(std::string_view path);
  void setDword(std::string_view keyPath, std::string_view name, uint32_t value);
  void setBinary(std::string_view keyPath, std::string_view name, std::span<const uint8_t> bytes);
  // The key with all its subkeys and values.
  void removeKey(std::string_view path);

  // False when a key cannot be created or the store cannot be written; on the file store
  // nothing of the group is applied then.
  bool apply() const;

  bool empty() const { return changes_.empty(); }

  struct Change {
    enum class Kind { CreateKey, SetDword, SetBinary, RemoveKey } kind;
    std::string keyPath;
    std::string name;
    uint32_t number = 0;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Change>& changes() const { return changes_; }

 private:
  std::vector<Change> changes_;
};

// Where the file store lives: $NIVEXA_REGISTRY_FILE when set, else
// $XDG_CONFIG_HOME/nivexa/registry.reg, else ~/.config/nivexa/registry.reg. Read at every
// access, so a program (or a test) may point it elsewhere at any time. Empty on Windows.
std::string registryFilePath();

}  // namespace nivexa::platform

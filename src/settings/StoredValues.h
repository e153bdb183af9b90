#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/Registry.h"
#include "settings/ParameterRanges.h"

// How the settings groups read and write single values.
namespace nivexa::settings {

// A signed setting kept as a REG_DWORD holds its two's-complement bit pattern.
constexpr uint32_t toDword(int32_t value) {
  return static_cast<uint32_t>(value);
}
constexpr int32_t fromDword(uint32_t value) {
  return static_cast<int32_t>(value);
}

// A little-endian IEEE double, byte by byte.
std::array<uint8_t, 8> encodeDouble(double value);
std::optional<double> decodeDouble(std::span<const uint8_t> bytes);

// The stored value of `name` when it is there, is a REG_DWORD and is accepted.
template <typename Accept>
std::optional<int32_t> readAccepted(const platform::RegistryKey& key, std::string_view name,
                                    Accept accept) {
  const auto stored = key.queryDword(name);
  if (!stored || !accept(fromDword(*stored))) {
    return std::nullopt;
  }
  return fromDword(*stored);
}

// Replaces `field` with the stored value when there is an acceptable one; leaves it otherwise.
template <typename Accept>
void loadInto(const platform::RegistryKey& key, std::string_view name, int32_t& field,
              Accept accept) {
  if (const auto value = readAccepted(key, name, accept)) {
    field = *value;
  }
}

// One DWORD value of a group whose accepted values are fixed.
template <typename Group>
struct StoredField {
  std::string_view name;
  int32_t Group::*member;
  IntRange range;
};

template <typename Group, size_t N>
void loadFields(const platform::RegistryKey& key, const std::array<StoredField<Group>, N>& fields,
                Group& group) {
  for (const auto& field : fields) {
    loadInto(key, field.name, group.*field.member,
             [&field](int32_t value) { return field.range.contains(value); });
  }
}

template <typename Group, size_t N>
void saveFields(platform::RegistryChanges& changes, std::string_view keyPath,
                const std::array<StoredField<Group>, N>& fields, const Group& group) {
  for (const auto& field : fields) {
    changes.setDword(keyPath, field.name, toDword(group.*field.member));
  }
}

// A group kept as one key of fixed fields. A missing key leaves the group at its defaults and
// answers 0, so the caller can tell "nothing stored" from "stored".
template <typename Group, size_t N>
int loadGroup(const std::string& keyPath, const std::array<StoredField<Group>, N>& fields,
              Group& group) {
  const auto key = platform::RegistryKey::open(keyPath);
  if (!key) {
    group = Group();
    return 0;
  }
  loadFields(*key, fields, group);
  return 1;
}

// Writes the key and all its fields as one change, so no reader sees half a group.
template <typename Group, size_t N>
int saveGroup(const std::string& keyPath, const std::array<StoredField<Group>, N>& fields,
              const Group& group) {
  platform::RegistryChanges changes;
  changes.createKey(keyPath);
  saveFields(changes, keyPath, fields, group);
  return changes.apply() ? 1 : 0;
}

}  // namespace nivexa::settings

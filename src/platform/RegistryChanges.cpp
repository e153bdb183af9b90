#include "platform/Registry.h"

namespace nivexa::platform {

void RegistryChanges::createKey(std::string_view path) {
  changes_.push_back({Change::Kind::CreateKey, std::string(path), {}, 0, {}});
}

void RegistryChanges::setDword(std::string_view keyPath, std::string_view name, uint32_t value) {
  changes_.push_back({Change::Kind::SetDword, std::string(keyPath), std::string(name), value, {}});
}

void RegistryChanges::setBinary(std::string_view keyPath, std::string_view name,
                                std::span<const uint8_t> bytes) {
  changes_.push_back({Change::Kind::SetBinary, std::string(keyPath), std::string(name), 0,
                      std::vector<uint8_t>(bytes.begin(), bytes.end())});
}

void RegistryChanges::removeKey(std::string_view path) {
  changes_.push_back({Change::Kind::RemoveKey, std::string(path), {}, 0, {}});
}

}  // namespace nivexa::platform

#include "settings/SettingsReport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "platform/Registry.h"
#include "settings/Layout.h"
#include "settings/StoredValues.h"

namespace nivexa::settings {

namespace {

constexpr std::string_view kCameraPrefix = "Camera_";

bool isCameraKey(const std::string& name) {
  return name.size() > kCameraPrefix.size() &&
         std::equal(kCameraPrefix.begin(), kCameraPrefix.end(), name.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

std::string formatValue(const platform::RegistryKey& key, const std::string& name) {
  char text[64];
  if (const auto number = key.queryDword(name)) {
    std::snprintf(text, sizeof text, "%d", static_cast<int>(fromDword(*number)));
    return text;
  }
  if (const auto bytes = key.queryBinary(name)) {
    if (const auto seconds = decodeDouble(*bytes)) {
      std::snprintf(text, sizeof text, "%.9g s", *seconds);
      return text;
    }
    std::string hex = "bytes";
    for (const uint8_t byte : *bytes) {
      std::snprintf(text, sizeof text, " %02x", byte);
      hex += text;
    }
    return hex;
  }
  return "(other type)";
}

void describeKey(std::string& out, const platform::RegistryKey& key, const std::string& indent) {
  for (const auto& name : key.valueNames()) {
    out += indent + (name.empty() ? std::string("(default)") : name) + " = " +
           formatValue(key, name) + "\n";
  }
  for (const auto& name : key.subkeyNames()) {
    out += indent + name + ":\n";
    if (const auto subkey = key.openSubkey(name)) {
      describeKey(out, *subkey, indent + "  ");
    }
  }
}

}  // namespace

std::string describeStoredSettings() {
  std::string out = "settings store: " + platform::registryFilePath() + "\n";
  const auto product = platform::RegistryKey::open(kProductKey);
  int positions = 0;
  if (product) {
    for (const auto& name : product->subkeyNames()) {
      if (!isCameraKey(name)) {
        continue;
      }
      const auto camera = product->openSubkey(name);
      if (!camera) {
        continue;
      }
      ++positions;
      out += name + ":\n";
      describeKey(out, *camera, "  ");
    }
  }
  if (positions == 0) {
    out += "no camera position has stored settings\n";
  }
  return out;
}

int resetStoredSettings() {
  const auto product = platform::RegistryKey::open(kProductKey);
  if (!product) {
    return 0;
  }
  platform::RegistryChanges changes;
  int positions = 0;
  for (const auto& name : product->subkeyNames()) {
    if (isCameraKey(name)) {
      changes.removeKey(std::string(kProductKey) + "\\" + name);
      ++positions;
    }
  }
  return changes.apply() ? positions : -1;
}

}  // namespace nivexa::settings

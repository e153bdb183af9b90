#include "settings/Layout.h"

#include <cstdio>

namespace nivexa::settings {

std::string cameraKeyName(int32_t position) {
  char name[32];
  std::snprintf(name, sizeof name, "Camera_%02d", static_cast<int>(position));
  return name;
}

std::string cameraKeyPath(int32_t position) {
  return std::string(kProductKey) + "\\" + cameraKeyName(position);
}

std::string sizeKeyName(int32_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "Size_%02d", static_cast<int>(number));
  return name;
}

}  // namespace nivexa::settings

#include "transport/drivers/VirtualCameraEnvironment.h"

#include <cstdio>
#include <cstdlib>

namespace nivexa::transport {

int createVirtualCameras(sim::CameraSet& cameras, const std::string& text, std::string& error) {
  auto list = sim::parseCameraList(text, error);
  if (!list) {
    return 0;
  }
  for (const auto& options : *list) {
    cameras.add(options);
  }
  return static_cast<int>(list->size());
}

int createVirtualCamerasFromEnvironment(sim::CameraSet& cameras) {
  const char* value = std::getenv(kVirtualCamerasVariable);
  if (value == nullptr || *value == '\0') {
    return 0;
  }
  std::string error;
  int made = createVirtualCameras(cameras, value, error);
  if (!error.empty()) {
    std::fprintf(stderr, "%s ignored: %s\n", kVirtualCamerasVariable, error.c_str());
  }
  return made;
}

}  // namespace nivexa::transport

#include "transport/drivers/VirtualCameraEnvironment.h"

#include <cstdio>
#include <cstdlib>

#include "sim/CameraOptions.h"

namespace nivexa::transport {

namespace {

std::vector<std::shared_ptr<sim::Camera>> addCameras(sim::CameraSet& cameras,
                                                     const std::string& text, std::string& error) {
  std::vector<std::shared_ptr<sim::Camera>> made;
  auto list = sim::parseCameraList(text, error);
  if (!list) {
    return made;
  }
  for (const auto& options : *list) {
    made.push_back(cameras.add(options));
  }
  return made;
}

}  // namespace

int createVirtualCameras(sim::CameraSet& cameras, const std::string& text, std::string& error) {
  return static_cast<int>(addCameras(cameras, text, error).size());
}

bool EnvironmentCameras::request(const char* text) {
  const std::string wanted = text != nullptr ? text : "";
  std::string error;
  if (!wanted.empty() && !sim::parseCameraList(wanted, error)) {
    return false;
  }
  std::lock_guard lock(requestMutex_);
  requested_ = wanted;
  return true;
}

void EnvironmentCameras::update() {
  std::string text;
  {
    std::lock_guard lock(requestMutex_);
    if (requested_) {
      text = *requested_;
    } else if (const char* value = std::getenv(kVirtualCamerasVariable)) {
      text = value;
    }
  }
  if (applied_ == text) {
    return;
  }
  for (const auto& camera : made_) {
    cameras_.remove(camera);
  }
  made_.clear();
  applied_ = text;
  if (text.empty()) {
    return;
  }
  std::string error;
  made_ = addCameras(cameras_, text, error);
  if (!error.empty()) {
    std::fprintf(stderr, "%s ignored: %s\n", kVirtualCamerasVariable, error.c_str());
  }
}

}  // namespace nivexa::transport

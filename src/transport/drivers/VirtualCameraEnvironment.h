#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/CameraSet.h"

namespace nivexa::transport {

inline constexpr const char* kVirtualCamerasVariable = "NIVEXA_VIRTUAL_CAMERAS";

// Creates the cameras that the variable's text asks for ("2", or option lists separated by ';')
// on the given set. Returns the number created; on a malformed text creates none and says why.
int createVirtualCameras(sim::CameraSet& cameras, const std::string& text, std::string& error);

// The virtual cameras that NIVEXA_VIRTUAL_CAMERAS asks for, kept in step with the variable each
// time update() reads it: a changed value replaces the cameras made for the previous one, an
// unchanged value keeps them (and their state). Cameras created on the set by other means are
// never touched. Not thread-safe: its owner calls it under a lock, with no device open.
class EnvironmentCameras {
 public:
  explicit EnvironmentCameras(sim::CameraSet& cameras) : cameras_(cameras) {}
  EnvironmentCameras(const EnvironmentCameras&) = delete;
  EnvironmentCameras& operator=(const EnvironmentCameras&) = delete;

  // Unset or empty asks for none. A malformed value is reported on stderr, once per value,
  // because nobody else would notice the missing cameras.
  void update();

 private:
  sim::CameraSet& cameras_;
  std::optional<std::string> applied_;  // the value the cameras in made_ were made for
  std::vector<std::shared_ptr<sim::Camera>> made_;
};

}  // namespace nivexa::transport

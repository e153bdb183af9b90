#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/CameraSet.h"

namespace nivexa::transport {

inline constexpr const char* kVirtualCamerasVariable = "NIVEXA_VIRTUAL_CAMERAS";

// Creates the cameras that the variable's text asks for ("2", or option lists separated by ';')
// on the given set. Returns the number created; on a malformed text creates none and says why.
int createVirtualCameras(sim::CameraSet& cameras, const std::string& text, std::string& error);

// The virtual cameras that NIVEXA_VIRTUAL_CAMERAS asks for, or the program through request(),
// kept in step with that text each time update() reads it: a changed text replaces the cameras
// made for the previous one, an unchanged text keeps them (and their state). Cameras created on
// the set by other means are never touched. update() is not thread-safe: its owner calls it
// under a lock, with no device open. request() may come from any thread at any time.
class EnvironmentCameras {
 public:
  explicit EnvironmentCameras(sim::CameraSet& cameras) : cameras_(cameras) {}
  EnvironmentCameras(const EnvironmentCameras&) = delete;
  EnvironmentCameras& operator=(const EnvironmentCameras&) = delete;

  // From now on the program's text counts, not the variable's (null or empty: none); the next
  // update() applies it. The process's environment is left alone: a library that changed it
  // would race every other reader of it. False, changing nothing, for a malformed text.
  bool request(const char* text);

  // Unset or empty asks for none. A malformed value of the variable is reported on stderr, once
  // per value, because nobody else would notice the missing cameras.
  void update();

 private:
  sim::CameraSet& cameras_;
  std::optional<std::string> applied_;  // the value the cameras in made_ were made for
  std::vector<std::shared_ptr<sim::Camera>> made_;
  std::mutex requestMutex_;
  std::optional<std::string> requested_;  // under requestMutex_
};

}  // namespace nivexa::transport

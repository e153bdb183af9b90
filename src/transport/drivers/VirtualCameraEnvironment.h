#pragma once

#include <string>

#include "sim/CameraSet.h"

namespace nivexa::transport {

inline constexpr const char* kVirtualCamerasVariable = "NIVEXA_VIRTUAL_CAMERAS";

// Creates the cameras that the variable's text asks for ("2", or option lists separated by ';')
// on the given set. Returns the number created; on a malformed text creates none and says why.
int createVirtualCameras(sim::CameraSet& cameras, const std::string& text, std::string& error);

// Reads NIVEXA_VIRTUAL_CAMERAS; unset or empty creates nothing. A malformed value is reported on
// stderr, because nobody else would notice the missing cameras.
int createVirtualCamerasFromEnvironment(sim::CameraSet& cameras);

}  // namespace nivexa::transport

#pragma once

#include <string>

#include "transport/CVelCy3Cam.h"

namespace nivexa::transport::testing {

// Scans and returns the table index of the device with this path, or -1.
inline int indexOfPath(CFx3Api& api, const std::string& path) {
  const int count = api.EnumerateDevices();
  for (int i = 0; i < count; ++i) {
    if (api.PathAt(i) == path) {
      return i;
    }
  }
  return -1;
}

}  // namespace nivexa::transport::testing

#pragma once

#include <cstddef>
#include <cstdint>

namespace nivexa::platform {

// What this process holds from the OS at one moment, for telling a leak from a steady state.
// Each count is the OS's own notion (descriptors on Linux, handles on Windows); a count the OS
// does not tell is 0, so two samples of it always compare equal.
struct ResourceUse {
  size_t openHandles = 0;       // file descriptors; kernel object handles on Windows
  size_t threads = 0;           // threads of this process
  size_t mappings = 0;          // memory mappings (Linux: /proc maps lines; Windows: mapped views)
  uint64_t residentBytes = 0;   // memory in RAM (working set on Windows)
  uint64_t committedBytes = 0;  // address space reserved for the process (private bytes on Windows)
};

ResourceUse currentResourceUse();

}  // namespace nivexa::platform

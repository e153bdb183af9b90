#include "platform/ResourceUse.h"

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Process.h"

namespace nivexa::platform {

namespace {

constexpr uint64_t kBytesPerKilobyte = 1024;

size_t entriesIn(const char* folder) {
  std::error_code error;
  size_t count = 0;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    ++count;
  }
  return error ? 0 : count;
}

size_t linesIn(const char* file) {
  std::ifstream in(file);
  size_t count = 0;
  for (std::string line; std::getline(in, line);) {
    ++count;
  }
  return count;
}

// A "Name:   1234 kB" line of /proc/self/status, in bytes; 0 when absent.
uint64_t statusKilobytes(const std::string& name) {
  std::ifstream in("/proc/self/status");
  const std::string prefix = name + ":";
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, prefix.size(), prefix) == 0) {
      return std::stoull(line.substr(prefix.size())) * kBytesPerKilobyte;
    }
  }
  return 0;
}

}  // namespace

ResourceUse currentResourceUse() {
  ResourceUse use;
  // The listing holds one descriptor of its own while it reads the folder; it is there in every
  // sample alike, so it is left in.
  use.openHandles = entriesIn("/proc/self/fd");
  use.threads = threadCount();
  use.mappings = linesIn("/proc/self/maps");
  use.residentBytes = statusKilobytes("VmRSS");
  use.committedBytes = statusKilobytes("VmSize");
  return use;
}

}  // namespace nivexa::platform

#include "platform/Process.h"

#include <unistd.h>

#include <array>
#include <cstdio>

namespace nivexa::platform {

std::string mainModuleDirectory() {
  std::array<char, 4096> buffer{};
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) {
    return {};
  }
  const std::string path(buffer.data(), static_cast<size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void debugOutput(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace nivexa::platform

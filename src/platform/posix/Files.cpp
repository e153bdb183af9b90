#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace nivexa::platform {

std::optional<std::vector<uint8_t>> readWholeFile(const char* path) {
  if (path == nullptr) {
    return std::nullopt;
  }
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  std::optional<std::vector<uint8_t>> result;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        break;
      }
      done += static_cast<size_t>(got);
    }
    // A file that shrank while being read yields what was there.
    bytes.resize(done);
    result = std::move(bytes);
  }
  close(fd);
  return result;
}

}  // namespace nivexa::platform

#include "platform/Files.h"

#include <windows.h>

namespace nivexa::platform {

std::optional<std::vector<uint8_t>> readWholeFile(const char* path) {
  if (path == nullptr) {
    return std::nullopt;
  }
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  std::optional<std::vector<uint8_t>> result;
  DWORD high = 0;
  const DWORD size = GetFileSize(file, &high);
  // 4 GiB and more is no file this library reads; INVALID_FILE_SIZE with no error is a real size.
  if (high == 0 && (size != INVALID_FILE_SIZE || GetLastError() == NO_ERROR)) {
    std::vector<uint8_t> bytes(size);
    DWORD done = 0;
    while (done < size) {
      DWORD got = 0;
      if (!ReadFile(file, bytes.data() + done, size - done, &got, nullptr) || got == 0) {
        break;
      }
      done += got;
    }
    // A file that shrank while being read yields what was there.
    bytes.resize(done);
    result = std::move(bytes);
  }
  CloseHandle(file);
  return result;
}

}  // namespace nivexa::platform

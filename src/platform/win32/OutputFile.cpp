#include "platform/OutputFile.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace nivexa::platform {

namespace {

std::atomic<uint32_t> tempCounter{0};

HANDLE asHandle(intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}

std::string temporarySibling(const std::string& path, uint32_t attempt) {
  const size_t slash = path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%lu.%u.%u.tmp", GetCurrentProcessId(),
                tempCounter.fetch_add(1), attempt);
  return folder + "." + name + suffix;
}

// Writes at an explicit offset, so that appends and header patches never depend on where the
// handle's own position was left.
bool writeAllAt(HANDLE file, uint64_t offset, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const size_t left = bytes.size() - done;
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    OVERLAPPED at{};
    const uint64_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD put = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &put, &at) || put == 0) {
      return false;
    }
    done += put;
  }
  return true;
}

}  // namespace

OutputFile::~OutputFile() {
  discard();
}

bool OutputFile::create(const std::string& path) {
  discard();
  if (path.empty() || path.back() == '/' || path.back() == '\\') {
    return false;
  }
  for (uint32_t attempt = 0; attempt < 16; ++attempt) {
    std::string temp = temporarySibling(path, attempt);
    // Hidden while it is incomplete, as a dot name is elsewhere; readers may look in meanwhile.
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      fd_ = reinterpret_cast<intptr_t>(file);
      size_ = 0;
      finalPath_ = path;
      tempPath_ = std::move(temp);
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return false;
}

bool OutputFile::append(std::span<const uint8_t> bytes) {
  if (fd_ < 0) {
    return false;
  }
  // What was written of a failed piece is left for the caller to cut away with resize().
  if (!writeAllAt(asHandle(fd_), size_, bytes)) {
    return false;
  }
  size_ += bytes.size();
  return true;
}

bool OutputFile::writeAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (fd_ < 0 || offset + bytes.size() > size_) {
    return false;
  }
  return writeAllAt(asHandle(fd_), offset, bytes);
}

bool OutputFile::resize(uint64_t size) {
  if (fd_ < 0) {
    return false;
  }
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFileInformationByHandle(asHandle(fd_), FileEndOfFileInfo, &end, sizeof end)) {
    return false;
  }
  size_ = size;
  return true;
}

bool OutputFile::commit() {
  if (fd_ < 0) {
    return false;
  }
  const bool flushed = FlushFileBuffers(asHandle(fd_)) != 0;
  const bool closed = CloseHandle(asHandle(fd_)) != 0;
  fd_ = -1;
  // The hidden attribute belongs to the temporary name only.
  if (!flushed || !closed || !SetFileAttributesA(tempPath_.c_str(), FILE_ATTRIBUTE_NORMAL) ||
      !MoveFileExA(tempPath_.c_str(), finalPath_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(tempPath_.c_str());
    tempPath_.clear();
    return false;
  }
  tempPath_.clear();
  return true;
}

void OutputFile::discard() {
  if (fd_ >= 0) {
    CloseHandle(asHandle(fd_));
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    DeleteFileA(tempPath_.c_str());
    tempPath_.clear();
  }
  size_ = 0;
}

// Windows has no file-size signal: a write past a quota or the volume's limit fails by itself.
void keepFileSizeLimitAsError() {}

int64_t fileSize(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (path == nullptr || !GetFileAttributesExA(path, GetFileExInfoStandard, &info)) {
    return -1;
  }
  return static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) |
                              info.nFileSizeLow);
}

}  // namespace nivexa::platform

#include "platform/FileIO.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace nivexa::platform {
namespace {

HANDLE asHandle(intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}

constexpr intptr_t kClosed = -1;  // INVALID_HANDLE_VALUE

size_t lastSeparator(const std::string& path) {
  return path.find_last_of("\\/");
}

std::string folderOf(const std::string& path) {
  const size_t at = lastSeparator(path);
  if (at == std::string::npos) {
    return ".";
  }
  return path.substr(0, at == 0 ? 1 : at);
}

std::string baseOf(const std::string& path) {
  const size_t at = lastSeparator(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

// Every write names its offset: appends go to the end this writer counted and header patches
// to their place, whatever position an earlier positioned write left on the handle.
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

InputFile::~InputFile() {
  close();
}

bool InputFile::open(const char* path) {
  close();
  if (path == nullptr || *path == '\0') {
    return false;
  }
  // A folder opens as well, as it does elsewhere; it then has no size and yields no bytes.
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  fd_ = file == INVALID_HANDLE_VALUE ? kClosed : reinterpret_cast<intptr_t>(file);
  return fd_ != kClosed;
}

std::optional<uint64_t> InputFile::size() const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (fd_ == kClosed || GetFileType(asHandle(fd_)) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(asHandle(fd_), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

bool InputFile::readExact(std::span<uint8_t> destination) {
  size_t done = 0;
  while (fd_ != kClosed && done < destination.size()) {
    const size_t left = destination.size() - done;
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(asHandle(fd_), destination.data() + done, chunk, &got, nullptr) || got == 0) {
      return false;
    }
    done += got;
  }
  return fd_ != kClosed;
}

void InputFile::close() {
  if (fd_ != kClosed) {
    CloseHandle(asHandle(fd_));
    fd_ = kClosed;
  }
}

AtomicFileWriter::~AtomicFileWriter() {
  abandon();
}

bool AtomicFileWriter::open(const char* targetPath) {
  abandon();
  if (targetPath == nullptr || *targetPath == '\0') {
    return false;
  }
  target_ = targetPath;
  if (target_.back() == '/' || target_.back() == '\\') {
    return false;
  }
  static std::atomic<uint32_t> sequence{0};
  // A temporary left by a crashed process of the same number may be in the way: try further
  // names rather than fail.
  for (int attempt = 0; attempt < 16 && fd_ == kClosed; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%lu.%u.tmp", GetCurrentProcessId(),
                  sequence.fetch_add(1));
    temporary_ = folderOf(target_);
    temporary_ += "\\.";
    temporary_ += baseOf(target_);
    temporary_ += suffix;
    // Hidden while it is incomplete, as a dot name is elsewhere; readers may look in meanwhile.
    HANDLE file = CreateFileA(temporary_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    fd_ = file == INVALID_HANDLE_VALUE ? kClosed : reinterpret_cast<intptr_t>(file);
    const DWORD error = fd_ == kClosed ? GetLastError() : ERROR_SUCCESS;
    if (fd_ == kClosed && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  size_ = 0;
  failed_ = fd_ == kClosed;
  if (failed_) {
    temporary_.clear();
  }
  return !failed_;
}

bool AtomicFileWriter::write(std::span<const uint8_t> bytes) {
  if (failed_ || fd_ == kClosed) {
    return false;
  }
  if (!writeAllAt(asHandle(fd_), size_, bytes)) {
    failed_ = true;
    return false;
  }
  size_ += bytes.size();
  return true;
}

// Windows gathers writes only for unbuffered, page-aligned files: the pieces go one by one.
bool AtomicFileWriter::writePieces(std::span<const std::span<const uint8_t>> pieces) {
  for (const auto& piece : pieces) {
    if (!write(piece)) {
      return false;
    }
  }
  return !failed_ && fd_ != kClosed;
}

bool AtomicFileWriter::writeAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (failed_ || fd_ == kClosed) {
    return false;
  }
  // Patches stay inside what was written; anything else is a fault of the encoder.
  if (offset > size_ || bytes.size() > size_ - offset ||
      !writeAllAt(asHandle(fd_), offset, bytes)) {
    failed_ = true;
    return false;
  }
  return true;
}

bool AtomicFileWriter::resize(uint64_t size) {
  if (fd_ == kClosed) {
    return false;
  }
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFileInformationByHandle(asHandle(fd_), FileEndOfFileInfo, &end, sizeof end)) {
    return false;
  }
  size_ = size;
  failed_ = false;
  return true;
}

bool AtomicFileWriter::commit() {
  if (failed_ || fd_ == kClosed) {
    abandon();
    return false;
  }
  const bool flushed = FlushFileBuffers(asHandle(fd_)) != 0;
  const bool closed = CloseHandle(asHandle(fd_)) != 0;
  fd_ = kClosed;
  // The hidden attribute belongs to the temporary name only.
  if (!flushed || !closed || !SetFileAttributesA(temporary_.c_str(), FILE_ATTRIBUTE_NORMAL) ||
      !MoveFileExA(temporary_.c_str(), target_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    abandon();
    return false;
  }
  temporary_.clear();
  return true;
}

void AtomicFileWriter::abandon() {
  if (fd_ != kClosed) {
    CloseHandle(asHandle(fd_));
    fd_ = kClosed;
  }
  if (!temporary_.empty()) {
    DeleteFileA(temporary_.c_str());
    temporary_.clear();
  }
  failed_ = false;
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

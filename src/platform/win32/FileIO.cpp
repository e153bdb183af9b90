#include "platform/FileIO.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>

#include "platform/Log.h"
#include "platform/TemporaryName.h"

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

// Closes a handle when it goes out of scope.
struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

OwnedHandle ownHandle(HANDLE handle) {
  return OwnedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// Whether the process with this id has ended. A process that cannot be asked (another user's)
// counts as running.
bool processEnded(uint64_t id) {
  if (id > MAXDWORD) {
    return true;  // no process has such an id
  }
  const OwnedHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id)));
  if (!process) {
    return GetLastError() == ERROR_INVALID_PARAMETER;
  }
  DWORD code = 0;
  return GetExitCodeProcess(process.get(), &code) && code != STILL_ACTIVE;
}

// A writer killed before its commit or abandon leaves its temporary behind, the size of a whole
// recording perhaps: removed here once its process has ended.
void removeTemporariesOfEndedWriters(const std::string& folder) {
  WIN32_FIND_DATAA entry{};
  const std::string pattern = folder + "\\.*.tmp";
  HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  const uint64_t self = GetCurrentProcessId();
  do {
    const uint64_t owner = temporaryOwner(entry.cFileName);
    if (owner != 0 && owner != self &&
        (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        processEnded(owner)) {
      DeleteFileA((folder + "\\" + entry.cFileName).c_str());
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

// Whether a path names a pipe (`\\.\pipe\...`, either separator, any case). Each opening of
// such a name connects to one of the pipe's instances: a look at what the name leads to would
// take the instance the writer is meant to have, and leave the reader with an empty pipe.
bool isPipeName(std::string_view path) {
  constexpr std::string_view kPipeFolders[] = {"\\\\.\\pipe\\", "\\\\?\\pipe\\"};
  for (const std::string_view folder : kPipeFolders) {
    if (path.size() > folder.size() &&
        std::equal(folder.begin(), folder.end(), path.begin(), [](char a, char b) {
          const auto normal = [](char c) {
            return c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          };
          return normal(a) == normal(b);
        })) {
      return true;
    }
  }
  return false;
}

// The path a handle leads to, links and junctions followed; empty when the OS does not tell.
std::string finalPathOf(HANDLE file) {
  std::string path(MAX_PATH, '\0');
  DWORD length = GetFinalPathNameByHandleA(file, path.data(), static_cast<DWORD>(path.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length >= path.size()) {
    path.resize(length + 1);
    length = GetFinalPathNameByHandleA(file, path.data(), static_cast<DWORD>(path.size()),
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  if (length == 0 || length >= path.size()) {
    return {};
  }
  path.resize(length);
  // The OS answers in its long-path form; the plain form is what the narrow calls take.
  constexpr std::string_view kLongUnc = "\\\\?\\UNC\\";
  constexpr std::string_view kLong = "\\\\?\\";
  if (path.starts_with(kLongUnc)) {
    return "\\\\" + path.substr(kLongUnc.size());
  }
  return path.starts_with(kLong) ? path.substr(kLong.size()) : path;
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
  // Only a file on a disk is read: a pipe or a device could make the reader wait, a folder
  // does not open without backup semantics.
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  fd_ = file == INVALID_HANDLE_VALUE ? kClosed : reinterpret_cast<intptr_t>(file);
  if (fd_ != kClosed && GetFileType(file) != FILE_TYPE_DISK) {
    close();
  }
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
  const char last = targetPath[std::strlen(targetPath) - 1];
  if (last == '/' || last == '\\') {
    return false;
  }
  if (isPipeName(targetPath)) {
    return openInPlace(targetPath);
  }
  // Where the bytes go is decided by what the name leads to, links and junctions followed.
  const OwnedHandle existing = ownHandle(CreateFileA(
      targetPath, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!existing) {
    const DWORD error = GetLastError();
    // A link to a name not there yet would be replaced by the file: refused, as the link's
    // target cannot be read without the link being opened.
    const DWORD attributes = GetFileAttributesA(targetPath);
    if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) ||
        (attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
      return false;
    }
    target_ = targetPath;
  } else {
    const DWORD type = GetFileType(existing.get());
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) {
      return openInPlace(targetPath);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (type != FILE_TYPE_DISK || !GetFileInformationByHandle(existing.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      NIVEXA_LOG(Platform, Warning, "%s is a folder or no file: refused as the target of a file",
                 targetPath);
      return false;
    }
    target_ = finalPathOf(existing.get());
    if (target_.empty()) {
      return false;
    }
  }
  const std::string folder = folderOf(target_);
  removeTemporariesOfEndedWriters(folder);
  static std::atomic<uint32_t> sequence{0};
  // A temporary left by a crashed process of the same number may be in the way: try further
  // names rather than fail.
  for (int attempt = 0; attempt < 16 && fd_ == kClosed; ++attempt) {
    temporary_ = folder + "\\" +
                 temporaryName(baseOf(target_), GetCurrentProcessId(), sequence.fetch_add(1));
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
    target_.clear();
  }
  return !failed_;
}

bool AtomicFileWriter::openInPlace(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    NIVEXA_LOG(Platform, Info, "%s: cannot be written in place (error %lu)", path, GetLastError());
    return false;
  }
  fd_ = reinterpret_cast<intptr_t>(file);
  inPlace_ = true;
  target_ = path;
  return true;
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
  // Patches stay inside what was written; anything else is a fault of the encoder. A pipe's
  // reader has the bytes already.
  if (offset > size_ || bytes.size() > size_ - offset ||
      (inPlace_ && GetFileType(asHandle(fd_)) == FILE_TYPE_PIPE) ||
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
  if (inPlace_) {
    return !failed_ && size == size_;
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
  // A device or pipe is not flushed: flushing a pipe waits for its reader.
  const bool flushed = inPlace_ || FlushFileBuffers(asHandle(fd_)) != 0;
  const bool closed = CloseHandle(asHandle(fd_)) != 0;
  fd_ = kClosed;
  if (inPlace_) {
    abandon();
    return closed;
  }
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
  target_.clear();
  failed_ = false;
  inPlace_ = false;
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

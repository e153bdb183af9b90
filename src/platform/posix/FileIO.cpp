#include "platform/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace nivexa::platform {
namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
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
  do {
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  return fd_ >= 0;
}

std::optional<uint64_t> InputFile::size() const {
  struct stat info {};
  if (fd_ < 0 || fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(info.st_size);
}

bool InputFile::readExact(std::span<uint8_t> destination) {
  size_t done = 0;
  while (fd_ >= 0 && done < destination.size()) {
    const ssize_t got = ::read(fd_, destination.data() + done, destination.size() - done);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return fd_ >= 0;
}

void InputFile::close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
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
  static std::atomic<uint32_t> sequence{0};
  target_ = targetPath;
  const std::string folder = folderOf(target_);
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%ld.%u.tmp", static_cast<long>(getpid()),
                sequence.fetch_add(1));
  temporary_ = folder;
  temporary_ += '/';
  temporary_ += '.';
  temporary_ += baseOf(target_);
  temporary_ += suffix;
  do {
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  failed_ = fd_ < 0;
  if (failed_) {
    temporary_.clear();
  }
  return !failed_;
}

bool AtomicFileWriter::write(std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (!failed_ && fd_ >= 0 && done < bytes.size()) {
    const ssize_t put = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      failed_ = true;
      break;
    }
    done += static_cast<size_t>(put);
  }
  return !failed_ && fd_ >= 0;
}

bool AtomicFileWriter::commit() {
  if (failed_ || fd_ < 0) {
    abandon();
    return false;
  }
  const bool flushed = ::fsync(fd_) == 0;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!flushed || !closed || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
    abandon();
    return false;
  }
  temporary_.clear();
  // The rename itself must reach the disk for the new name to survive a power cut.
  const int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

void AtomicFileWriter::abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
  failed_ = false;
}

}  // namespace nivexa::platform

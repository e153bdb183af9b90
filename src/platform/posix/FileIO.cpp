#include "platform/FileIO.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
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
  target_ = targetPath;
  if (target_.back() == '/') {
    return false;
  }
  static std::atomic<uint32_t> sequence{0};
  // A temporary left by a crashed process of the same number may be in the way: try further
  // names rather than fail.
  for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%ld.%u.tmp", static_cast<long>(getpid()),
                  sequence.fetch_add(1));
    temporary_ = folderOf(target_);
    temporary_ += "/.";
    temporary_ += baseOf(target_);
    temporary_ += suffix;
    do {
      fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0 && errno != EEXIST) {
      break;
    }
  }
  size_ = 0;
  failed_ = fd_ < 0;
  if (failed_) {
    temporary_.clear();
  }
  return !failed_;
}

namespace {

// Every write names its offset, so appends continue at the end this writer counted after a
// resize, whatever position the descriptor was left at.
bool writeAllAt(int fd, uint64_t offset, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return true;
}

}  // namespace

bool AtomicFileWriter::write(std::span<const uint8_t> bytes) {
  if (failed_ || fd_ < 0) {
    return false;
  }
  if (!writeAllAt(static_cast<int>(fd_), size_, bytes)) {
    failed_ = true;
    return false;
  }
  size_ += bytes.size();
  return true;
}

bool AtomicFileWriter::writePieces(std::span<const std::span<const uint8_t>> pieces) {
  if (failed_ || fd_ < 0) {
    return false;
  }
  constexpr size_t kPiecesPerCall = 256;
  size_t index = 0;
  size_t done = 0;  // bytes of pieces[index] already written
  uint64_t at = size_;
  const auto skipFinished = [&] {
    while (index < pieces.size() && done == pieces[index].size()) {
      ++index;
      done = 0;
    }
  };
  skipFinished();
  while (index < pieces.size()) {
    std::array<iovec, kPiecesPerCall> vector{};
    int count = 0;
    for (size_t i = index; i < pieces.size() && count < static_cast<int>(kPiecesPerCall); ++i) {
      const size_t from = i == index ? done : 0;
      vector[static_cast<size_t>(count)].iov_base = const_cast<uint8_t*>(pieces[i].data() + from);
      vector[static_cast<size_t>(count)].iov_len = pieces[i].size() - from;
      ++count;
    }
    const ssize_t put =
        ::pwritev(static_cast<int>(fd_), vector.data(), count, static_cast<off_t>(at));
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      failed_ = true;
      return false;
    }
    at += static_cast<uint64_t>(put);
    for (auto left = static_cast<size_t>(put); left > 0;) {
      const size_t rest = pieces[index].size() - done;
      const size_t taken = left < rest ? left : rest;
      done += taken;
      left -= taken;
      skipFinished();
    }
  }
  size_ = at;
  return true;
}

bool AtomicFileWriter::writeAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (failed_ || fd_ < 0) {
    return false;
  }
  // A patch outside the written bytes means the encoder lost track of its file: fail it.
  if (offset > size_ || bytes.size() > size_ - offset ||
      !writeAllAt(static_cast<int>(fd_), offset, bytes)) {
    failed_ = true;
    return false;
  }
  return true;
}

bool AtomicFileWriter::resize(uint64_t size) {
  if (fd_ < 0) {
    return false;
  }
  int result;
  do {
    result = ::ftruncate(static_cast<int>(fd_), static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    return false;
  }
  size_ = size;
  failed_ = false;
  return true;
}

bool AtomicFileWriter::commit() {
  if (failed_ || fd_ < 0) {
    abandon();
    return false;
  }
  const bool flushed = ::fsync(static_cast<int>(fd_)) == 0;
  const bool closed = ::close(static_cast<int>(fd_)) == 0;
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
    ::close(static_cast<int>(fd_));
    fd_ = -1;
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
  failed_ = false;
  size_ = 0;
}

void keepFileSizeLimitAsError() {
  // The signal is directed at the writing thread; blocked, it stays pending there and goes with
  // the thread, while the write reports EFBIG.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGXFSZ);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int64_t fileSize(const char* path) {
  struct stat info {};
  if (path == nullptr || ::stat(path, &info) != 0) {
    return -1;
  }
  return static_cast<int64_t>(info.st_size);
}

}  // namespace nivexa::platform

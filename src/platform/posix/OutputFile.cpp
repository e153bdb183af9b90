#include "platform/OutputFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace nivexa::platform {

namespace {

std::atomic<uint32_t> tempCounter{0};

std::string temporarySibling(const std::string& path, uint32_t attempt) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%ld.%u.%u.tmp", static_cast<long>(getpid()),
                tempCounter.fetch_add(1), attempt);
  return folder + "." + name + suffix;
}

}  // namespace

OutputFile::~OutputFile() {
  discard();
}

bool OutputFile::create(const std::string& path) {
  discard();
  if (path.empty() || path.back() == '/') {
    return false;
  }
  for (uint32_t attempt = 0; attempt < 16; ++attempt) {
    std::string temp = temporarySibling(path, attempt);
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      size_ = 0;
      finalPath_ = path;
      tempPath_ = std::move(temp);
      return true;
    }
    if (errno != EEXIST) {
      return false;
    }
  }
  return false;
}

bool OutputFile::append(std::span<const uint8_t> bytes) {
  if (fd_ < 0) {
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put =
        pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(size_ + done));
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      // What was written of this piece is left for the caller to cut away with resize().
      return false;
    }
    done += static_cast<size_t>(put);
  }
  size_ += done;
  return true;
}

bool OutputFile::writeAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (fd_ < 0 || offset + bytes.size() > size_) {
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put =
        pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
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

bool OutputFile::resize(uint64_t size) {
  if (fd_ < 0) {
    return false;
  }
  int result;
  do {
    result = ftruncate(fd_, static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    return false;
  }
  size_ = size;
  return true;
}

bool OutputFile::commit() {
  if (fd_ < 0) {
    return false;
  }
  const bool flushed = fdatasync(fd_) == 0;
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  if (!flushed || !closed || rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
    unlink(tempPath_.c_str());
    tempPath_.clear();
    return false;
  }
  tempPath_.clear();
  // The new name must reach the disk too to survive a power cut.
  const size_t slash = finalPath_.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : finalPath_.substr(0, slash + 1);
  const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
  return true;
}

void OutputFile::discard() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    unlink(tempPath_.c_str());
    tempPath_.clear();
  }
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
  if (path == nullptr || stat(path, &info) != 0) {
    return -1;
  }
  return static_cast<int64_t>(info.st_size);
}

}  // namespace nivexa::platform

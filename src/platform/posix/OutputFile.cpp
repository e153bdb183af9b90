#include "platform/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/Log.h"

namespace nivexa::platform {
namespace {

constexpr size_t kBufferBytes = 256 * 1024;
constexpr int kNameAttempts = 16;

std::atomic<uint32_t> gTempCounter{0};

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void syncFolder(const std::string& folder) {
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    return;
  }
  // The file is already in place; a folder that cannot be synced only weakens durability.
  if (fsync(dir) != 0 && errno != EINVAL) {
    NIVEXA_LOG(Platform, Warning, "output file: syncing folder %s failed: %s", folder.c_str(),
               std::strerror(errno));
  }
  close(dir);
}

}  // namespace

OutputFile::OutputFile() = default;

OutputFile::~OutputFile() {
  discard();
}

bool OutputFile::create(const std::string& path) {
  discard();
  const std::string base = baseNameOf(path);
  if (base.empty() || base == "." || base == "..") {
    return false;
  }
  buffer_.reset(new (std::nothrow) uint8_t[kBufferBytes]);
  if (!buffer_) {
    return false;
  }
  const std::string folder = folderOf(path);
  const std::string prefix = (folder == "/" ? "" : folder) + "/." + base + ".";
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, "%ld-%u.tmp", static_cast<long>(getpid()),
                  gTempCounter.fetch_add(1, std::memory_order_relaxed));
    std::string candidate = prefix + suffix;
    // 0666 through the umask: the final file gets the mode a plain create would have given it.
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      failed_ = false;
      size_ = flushed_ = 0;
      buffered_ = 0;
      finalPath_ = path;
      tempPath_ = std::move(candidate);
      return true;
    }
    if (errno != EEXIST) {
      NIVEXA_LOG(Platform, Info, "output file: cannot create %s: %s", candidate.c_str(),
                 std::strerror(errno));
      break;
    }
  }
  buffer_.reset();
  return false;
}

void OutputFile::fail() {
  failed_ = true;
}

bool OutputFile::writeFully(uint64_t offset, const uint8_t* data, size_t length) {
  while (length > 0) {
    const ssize_t done = pwrite(fd_, data, length, static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) {
      continue;
    }
    if (done <= 0) {
      NIVEXA_LOG(Platform, Info, "output file: writing %s failed: %s", tempPath_.c_str(),
                 done < 0 ? std::strerror(errno) : "nothing written");
      fail();
      return false;
    }
    data += done;
    length -= static_cast<size_t>(done);
    offset += static_cast<uint64_t>(done);
  }
  return true;
}

bool OutputFile::flushBuffer() {
  if (buffered_ == 0) {
    return true;
  }
  if (!writeFully(flushed_, buffer_.get(), buffered_)) {
    return false;
  }
  flushed_ += buffered_;
  buffered_ = 0;
  return true;
}

bool OutputFile::append(std::span<const uint8_t> bytes) {
  if (!ok()) {
    return false;
  }
  if (bytes.size() <= kBufferBytes - buffered_) {
    std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
    buffered_ += bytes.size();
    size_ += bytes.size();
    return true;
  }
  if (!flushBuffer()) {
    return false;
  }
  if (bytes.size() >= kBufferBytes) {
    // Large blocks go straight to the file instead of through the buffer.
    if (!writeFully(flushed_, bytes.data(), bytes.size())) {
      return false;
    }
    flushed_ += bytes.size();
  } else {
    std::memcpy(buffer_.get(), bytes.data(), bytes.size());
    buffered_ = bytes.size();
  }
  size_ += bytes.size();
  return true;
}

bool OutputFile::writeAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (!ok()) {
    return false;
  }
  if (offset > size_ || bytes.size() > size_ - offset) {
    return false;
  }
  if (!flushBuffer()) {
    return false;
  }
  return writeFully(offset, bytes.data(), bytes.size());
}

bool OutputFile::resize(uint64_t size) {
  if (!ok() || !flushBuffer()) {
    return false;
  }
  if (ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    NIVEXA_LOG(Platform, Info, "output file: resizing %s failed: %s", tempPath_.c_str(),
               std::strerror(errno));
    fail();
    return false;
  }
  size_ = flushed_ = size;
  return true;
}

bool OutputFile::commit() {
  if (!isOpen()) {
    return false;
  }
  bool good = ok() && flushBuffer();
  if (good && fsync(fd_) != 0) {
    NIVEXA_LOG(Platform, Info, "output file: syncing %s failed: %s", tempPath_.c_str(),
               std::strerror(errno));
    good = false;
  }
  // Some file systems report a failed write-back only at close.
  if (close(fd_) != 0) {
    good = false;
  }
  fd_ = -1;
  if (good && rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
    NIVEXA_LOG(Platform, Info, "output file: renaming %s to %s failed: %s", tempPath_.c_str(),
               finalPath_.c_str(), std::strerror(errno));
    good = false;
  }
  if (!good) {
    unlink(tempPath_.c_str());
  } else {
    syncFolder(folderOf(finalPath_));
  }
  tempPath_.clear();
  buffer_.reset();
  return good;
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
  buffer_.reset();
  buffered_ = 0;
}

int64_t fileSize(const char* path) {
  struct stat info {};
  if (path == nullptr || stat(path, &info) != 0) {
    return -1;
  }
  return static_cast<int64_t>(info.st_size);
}

}  // namespace nivexa::platform

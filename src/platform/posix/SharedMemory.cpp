#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace nivexa::platform {

namespace {

// Serialises opens and closes of one name across processes, so that "am I the only holder?"
// and the create-or-remove decision that follows cannot interleave with another process's.
class NameLock {
 public:
  explicit NameLock(const std::string& objectName)
      : fd_(shm_open((objectName + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~NameLock() {
    if (fd_ >= 0) {
      flock(fd_, LOCK_UN);
      close(fd_);
    }
  }
  NameLock(const NameLock&) = delete;
  NameLock& operator=(const NameLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Every holder keeps a shared lock on the block; whoever can take it exclusively is alone.
bool noOtherHolder(int fd) {
  return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

}  // namespace

std::string SharedMemory::objectName(const std::string& name) {
  const char* prefix = std::getenv("NIVEXA_SHM_PREFIX");
  // Appended piecewise: GCC 12 at -O3 warns falsely about chained string operator+.
  std::string object("/");
  object.append(prefix != nullptr ? prefix : "");
  object.append(name);
  return object;
}

std::unique_ptr<SharedMemory> SharedMemory::openOrCreate(const std::string& name, size_t size,
                                                         bool& created) {
  created = false;
  const std::string object = objectName(name);
  NameLock guard(object);
  if (!guard.held()) {
    return nullptr;
  }
  const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    return nullptr;
  }
  if (noOtherHolder(fd)) {
    // Nobody holds it: whatever a crashed holder left behind is not ours to see.
    created = true;
    if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
      close(fd);
      return nullptr;
    }
  } else {
    struct stat info {};
    if (fstat(fd, &info) != 0 || static_cast<size_t>(info.st_size) < size) {
      close(fd);
      return nullptr;
    }
  }
  flock(fd, LOCK_SH);
  void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<SharedMemory>(
      new SharedMemory(object, fd, static_cast<uint8_t*>(view), size));
}

SharedMemory::SharedMemory(std::string objectName, intptr_t osHandle, uint8_t* data, size_t size)
    : objectName_(std::move(objectName)), osHandle_(osHandle), data_(data), size_(size) {}

SharedMemory::~SharedMemory() {
  const int fd = static_cast<int>(osHandle_);
  NameLock guard(objectName_);
  munmap(data_, size_);
  if (guard.held() && noOtherHolder(fd)) {
    shm_unlink(objectName_.c_str());
  }
  close(fd);
}

}  // namespace nivexa::platform

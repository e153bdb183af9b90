#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/Log.h"

namespace nivexa::platform {

namespace {

// Every user of the machine who may open the camera shares one device table: the block and its
// lock are readable and writable by all, whatever the creating process's umask made of them.
constexpr mode_t kSharedMode = 0666;

// Bounded: a lock file that keeps being replaced under us means something else is wrong.
constexpr int kLockAttempts = 100;

void logFailure(const char* what, const std::string& object) {
  NIVEXA_LOG(Platform, Warning, "shared memory %s: %s failed: %s", object.c_str(), what,
             std::strerror(errno));
}

// Gives a freshly created object the shared mode. Only its owner may change the mode; an object
// another user created already has it (or was made by an older build, which this cannot mend).
bool makeShared(int fd, const std::string& object) {
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    logFailure("fstat", object);
    return false;
  }
  if ((info.st_mode & 0777) == kSharedMode || info.st_uid != geteuid()) {
    return true;
  }
  if (fchmod(fd, kSharedMode) != 0) {
    logFailure("fchmod", object);
    return false;
  }
  return true;
}

bool sameFile(int fd, const std::string& object) {
  const int current = shm_open(object.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (current < 0) {
    return false;
  }
  struct stat mine {};
  struct stat theirs {};
  const bool same = fstat(fd, &mine) == 0 && fstat(current, &theirs) == 0 &&
                    mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
  close(current);
  return same;
}

// Serialises opens and closes of one name across processes, so that "am I the only holder?"
// and the create-or-remove decision that follows cannot interleave with another process's.
// The last holder removes the lock file too; a process that was waiting on the removed file
// finds on waking that the name now means another file, and starts again on that one.
class NameLock {
 public:
  explicit NameLock(const std::string& objectName) : name_(objectName + ".lock") {
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
      fd_ = shm_open(name_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kSharedMode);
      if (fd_ < 0 && errno == EACCES) {
        // Another user's process has just created it and not yet opened it up to everyone.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      if (fd_ < 0) {
        logFailure("opening the lock", name_);
        return;
      }
      int result = 0;
      while ((result = flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
      }
      if (result != 0) {
        logFailure("locking", name_);
        close(fd_);
        fd_ = -1;
        return;
      }
      if (sameFile(fd_, name_)) {
        held_ = makeShared(fd_, name_);
        return;
      }
      close(fd_);  // releases the lock on the removed file
      fd_ = -1;
    }
    NIVEXA_LOG(Platform, Warning, "shared memory %s: the lock file kept changing", name_.c_str());
  }
  ~NameLock() {
    if (fd_ >= 0) {
      flock(fd_, LOCK_UN);
      close(fd_);
    }
  }
  NameLock(const NameLock&) = delete;
  NameLock& operator=(const NameLock&) = delete;
  bool held() const { return held_; }

  // Removes the lock file while still holding it: whoever waits on it starts again.
  void remove() {
    if (held_ && shm_unlink(name_.c_str()) != 0 && errno != ENOENT) {
      // Another user's file in a sticky directory: it stays, and is simply used again.
      NIVEXA_LOG(Platform, Debug, "shared memory %s: not removed: %s", name_.c_str(),
                 std::strerror(errno));
    }
  }

 private:
  std::string name_;
  int fd_ = -1;
  bool held_ = false;
};

// Every holder keeps a shared lock on the block; whoever can take it exclusively is alone. Any
// failure other than "held by someone" also answers no, so that nothing is reset or removed on
// a guess.
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
  const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kSharedMode);
  if (fd < 0) {
    logFailure("opening", object);
    return nullptr;
  }
  auto fail = [&](const char* what) {
    logFailure(what, object);
    close(fd);
    return nullptr;
  };
  if (!makeShared(fd, object)) {
    close(fd);
    return nullptr;
  }
  if (noOtherHolder(fd)) {
    // Nobody holds it: whatever a crashed holder left behind is not ours to see.
    created = true;
    if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
      return fail("resizing");
    }
  } else {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
      return fail("fstat");
    }
    if (static_cast<size_t>(info.st_size) < size) {
      NIVEXA_LOG(Platform, Warning, "shared memory %s: %lld bytes, %zu expected", object.c_str(),
                 static_cast<long long>(info.st_size), size);
      close(fd);
      return nullptr;
    }
  }
  // Without the shared lock the next opener would take the block for abandoned and reset it.
  if (flock(fd, LOCK_SH) != 0) {
    return fail("taking the holder's lock");
  }
  void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) {
    return fail("mapping");
  }
  return std::unique_ptr<SharedMemory>(
      new SharedMemory(object, fd, static_cast<uint8_t*>(view), size));
}

SharedMemory::SharedMemory(std::string objectName, intptr_t osHandle, uint8_t* data, size_t size)
    : objectName_(std::move(objectName)), osHandle_(osHandle), data_(data), size_(size) {}

SharedMemory::~SharedMemory() {
  const int fd = static_cast<int>(osHandle_);
  NameLock guard(objectName_);
  if (munmap(data_, size_) != 0) {
    logFailure("unmapping", objectName_);
  }
  if (guard.held() && noOtherHolder(fd)) {
    if (shm_unlink(objectName_.c_str()) != 0 && errno != ENOENT) {
      NIVEXA_LOG(Platform, Debug, "shared memory %s: not removed: %s", objectName_.c_str(),
                 std::strerror(errno));
    }
    guard.remove();
  }
  close(fd);
}

}  // namespace nivexa::platform

#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Log.h"

namespace nivexa::platform {

namespace {

// Private to the user, as a named mapping in a Windows session is: in the shared /dev/shm any
// other mode would let another local user rewrite the table every process of ours trusts.
constexpr mode_t kPrivateMode = 0600;
constexpr mode_t kOthersAccess = 0077;
constexpr const char* kUserSuffix = "-uid";

constexpr mode_t kPermissionBits = 0777;

// Bounded: a lock file (or object) that keeps being replaced under us means something else is
// wrong.
constexpr int kLockAttempts = 100;
constexpr int kOpenAttempts = 100;

void logFailure(const char* what, const std::string& object) {
  NIVEXA_LOG(Platform, Warning, "shared memory %s: %s failed: %s", object.c_str(), what,
             std::strerror(errno));
}

// Opens this user's object of that name, creating it when missing; -1 when that fails. The name
// lives in a folder every user may create in, so an object that is already there is taken only
// when it is ours and closed to others: one planted by another user is refused, never trusted.
int openOwn(const std::string& object) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateMode);
    if (fd >= 0) {
      // The umask may have taken more than the others' bits; the owner needs read and write.
      if (fchmod(fd, kPrivateMode) != 0) {
        logFailure("fchmod", object);
        close(fd);
        shm_unlink(object.c_str());  // just created by us, and useless
        return -1;
      }
      return fd;
    }
    if (errno != EEXIST) {
      logFailure("creating", object);
      return -1;
    }
    fd = shm_open(object.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0 && errno == ENOENT) {
      continue;  // its last holder removed it between the two calls
    }
    if (fd < 0) {
      logFailure("opening", object);
      return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
      logFailure("fstat", object);
      close(fd);
      return -1;
    }
    if (info.st_uid != geteuid() || (info.st_mode & kOthersAccess) != 0) {
      NIVEXA_LOG(Platform, Warning,
                 "shared memory %s: refused: owned by uid %u with mode %03o, not private to uid %u",
                 object.c_str(), static_cast<unsigned>(info.st_uid),
                 static_cast<unsigned>(info.st_mode & kPermissionBits),
                 static_cast<unsigned>(geteuid()));
      close(fd);
      return -1;
    }
    return fd;
  }
  NIVEXA_LOG(Platform, Warning, "shared memory %s: kept appearing and disappearing",
             object.c_str());
  return -1;
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
      fd_ = openOwn(name_);
      if (fd_ < 0) {
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
        held_ = true;
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
  // One object per user, as each Windows session has its own namespace.
  object.append(kUserSuffix);
  object.append(std::to_string(geteuid()));
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
  const int fd = openOwn(object);
  if (fd < 0) {
    return nullptr;
  }
  auto fail = [&](const char* what) {
    logFailure(what, object);
    close(fd);
    return nullptr;
  };
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

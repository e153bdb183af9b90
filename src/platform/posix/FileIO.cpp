#include "platform/FileIO.h"

#include "platform/Log.h"
#include "platform/TemporaryName.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

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

// The kernel gives up on a chain of symbolic links after as many.
constexpr int kMaxLinkHops = 40;
constexpr mode_t kAllModeBits = 07777;  // with set-user-id, set-group-id and sticky
constexpr mode_t kPermissionBits = 0777;

int openRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The name a chain of symbolic links ends at when its last link names nothing yet: that is the
// file to create. nullopt for a loop or an unreadable link.
std::optional<std::string> endOfDanglingLinks(std::string path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
      return errno == ENOENT ? std::optional(path) : std::nullopt;
    }
    if (!S_ISLNK(info.st_mode)) {
      return path;
    }
    std::vector<char> link(PATH_MAX);
    const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
    if (length <= 0 || static_cast<size_t>(length) >= link.size()) {
      return std::nullopt;
    }
    std::string next(link.data(), static_cast<size_t>(length));
    path = next.front() == '/' ? next : folderOf(path) + "/" + next;
  }
  return std::nullopt;
}

// A writer killed before its commit or abandon leaves its temporary behind, the size of a whole
// recording perhaps. Such files are found by name and removed once their process is gone; a
// process that still runs (whoever's it is) keeps its file. One read of the folder is small
// beside the file about to be written.
void removeTemporariesOfEndedWriters(const std::string& folder) {
  const int folderFd = openRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd < 0) {
    return;
  }
  const std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(folderFd), &::closedir);
  if (!listing) {
    ::close(folderFd);
    return;
  }
  const pid_t self = ::getpid();
  while (const dirent* entry = ::readdir(listing.get())) {
    const uint64_t id = temporaryOwner(entry->d_name);
    const auto owner = static_cast<pid_t>(id);
    struct stat info {};
    if (id == 0 || static_cast<uint64_t>(owner) != id || owner <= 0 || owner == self ||
        ::kill(owner, 0) == 0 || errno != ESRCH ||
        ::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode)) {
      continue;
    }
    ::unlinkat(folderFd, entry->d_name, 0);
  }
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
  // Looked at before opening, as opening a device can act on it; opened without waiting, as a
  // pipe swapped in meanwhile would wait for a writer; looked at again, as that is what counts.
  struct stat info {};
  if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
    return false;
  }
  const int fd = openRetrying(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    return false;
  }
  fd_ = fd;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close();
    return false;
  }
  return true;
}

std::optional<uint64_t> InputFile::size() const {
  struct stat info {};
  if (fd_ < 0 || fstat(static_cast<int>(fd_), &info) != 0) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(info.st_size);
}

bool InputFile::readExact(std::span<uint8_t> destination) {
  size_t done = 0;
  while (fd_ >= 0 && done < destination.size()) {
    const ssize_t got =
        ::read(static_cast<int>(fd_), destination.data() + done, destination.size() - done);
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
    ::close(static_cast<int>(fd_));
    fd_ = -1;
  }
}

AtomicFileWriter::~AtomicFileWriter() {
  abandon();
}

bool AtomicFileWriter::open(const char* targetPath) {
  abandon();
  if (targetPath == nullptr || *targetPath == '\0' ||
      targetPath[std::strlen(targetPath) - 1] == '/') {
    return false;
  }
  // Where the bytes go is decided by what the name leads to, links followed.
  struct stat existing {};
  const bool exists = ::stat(targetPath, &existing) == 0;
  if (!exists && errno != ENOENT) {
    return false;
  }
  if (exists && (S_ISCHR(existing.st_mode) || S_ISFIFO(existing.st_mode))) {
    return openInPlace(targetPath);
  }
  if (exists && !S_ISREG(existing.st_mode)) {
    const char* kind = S_ISDIR(existing.st_mode)   ? "a folder"
                       : S_ISBLK(existing.st_mode) ? "a block device"
                                                   : "no regular file";
    NIVEXA_LOG(Platform, Warning, "%s is %s: refused as the target of a file", targetPath, kind);
    return false;
  }
  if (exists) {
    const std::unique_ptr<char, void (*)(void*)> real(::realpath(targetPath, nullptr), &std::free);
    if (!real) {
      return false;
    }
    target_ = real.get();
  } else {
    auto end = endOfDanglingLinks(targetPath);
    if (!end) {
      return false;
    }
    target_ = std::move(*end);
  }
  const std::string folder = folderOf(target_);
  removeTemporariesOfEndedWriters(folder);
  static std::atomic<uint32_t> sequence{0};
  // A temporary left by a crashed process of the same number may be in the way: try further
  // names rather than fail.
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary_ =
        folder + "/" +
        temporaryName(baseOf(target_), static_cast<uint64_t>(::getpid()), sequence.fetch_add(1));
    fd = openRetrying(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) {
      break;
    }
  }
  if (fd < 0) {
    temporary_.clear();
    target_.clear();
    return false;
  }
  fd_ = fd;
  if (exists) {
    // The replacement is the same file to everyone who could use the old one. Giving a file
    // away needs privileges a normal user lacks; the mode is set after, as a change of owner
    // clears the set-id bits.
    // Set-id bits go only with the owner they belong to. A folder that keeps no modes (a
    // FAT stick) refuses both, which loses nothing there.
    const bool sameOwner = (existing.st_uid == ::geteuid() && existing.st_gid == ::getegid()) ||
                           ::fchown(fd, existing.st_uid, existing.st_gid) == 0;
    [[maybe_unused]] const int kept =
        ::fchmod(fd, existing.st_mode & (sameOwner ? kAllModeBits : kPermissionBits));
  }
  return true;
}

bool AtomicFileWriter::openInPlace(const char* path) {
  // A pipe with no reader yet is refused rather than waited on: a caller may hold locks.
  const int fd = openRetrying(path, O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  struct stat info {};
  if (fd >= 0) {
    fd_ = fd;
    inPlace_ = true;
  }
  if (fd < 0 || ::fstat(fd, &info) != 0 || !(S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    NIVEXA_LOG(Platform, Info, "%s: cannot be written in place (errno %d)", path, errno);
    abandon();
    return false;
  }
  target_ = path;
  return true;
}

namespace {

// Writes every byte, at `offset` when there is one: every write of a file names its offset, so
// appends continue at the end this writer counted after a resize, whatever position the
// descriptor was left at. A pipe or device has no offsets: its bytes go one after the other.
bool writeEvery(int fd, std::span<const uint8_t> bytes, std::optional<uint64_t> offset) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = offset ? ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                          static_cast<off_t>(*offset + done))
                               : ::write(fd, bytes.data() + done, bytes.size() - done);
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

bool writeAllAt(int fd, uint64_t offset, std::span<const uint8_t> bytes) {
  return writeEvery(fd, bytes, offset);
}

// A pipe whose reader has gone raises SIGPIPE, which ends the whole process by default. Held
// back on this thread for the write, and taken back when the write raised it, so the write
// only fails with EPIPE.
class PipeSignalHeld {
 public:
  PipeSignalHeld() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    pendingBefore_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
  }
  ~PipeSignalHeld() {
    sigset_t pending;
    if (!pendingBefore_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
      const timespec now{};
      sigtimedwait(&pipe_, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  PipeSignalHeld(const PipeSignalHeld&) = delete;
  PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;

 private:
  sigset_t pipe_{};
  sigset_t previous_{};
  bool pendingBefore_ = false;
};

bool writeAll(int fd, std::span<const uint8_t> bytes) {
  const PipeSignalHeld held;
  return writeEvery(fd, bytes, std::nullopt);
}

}  // namespace

bool AtomicFileWriter::write(std::span<const uint8_t> bytes) {
  if (failed_ || fd_ < 0) {
    return false;
  }
  const int fd = static_cast<int>(fd_);
  if (!(inPlace_ ? writeAll(fd, bytes) : writeAllAt(fd, size_, bytes))) {
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
  if (inPlace_) {
    for (const auto& piece : pieces) {
      if (!write(piece)) {
        return false;
      }
    }
    return true;
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
  if (inPlace_) {
    return !failed_ && size == size_;
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
  // Most devices and every pipe have nothing to flush and say so.
  const bool flushed = ::fsync(static_cast<int>(fd_)) == 0 || (inPlace_ && errno == EINVAL);
  const bool closed = ::close(static_cast<int>(fd_)) == 0;
  fd_ = -1;
  if (inPlace_) {
    abandon();
    return flushed && closed;
  }
  // Something other than a regular file put at the name meanwhile is not replaced either.
  struct stat now {};
  const bool replaceable =
      ::lstat(target_.c_str(), &now) != 0 ? errno == ENOENT : S_ISREG(now.st_mode);
  if (!flushed || !closed || !replaceable || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
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
  target_.clear();
  failed_ = false;
  inPlace_ = false;
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

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace nivexa::platform {

// A regular file opened for reading; reads are exact or fail.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // False for anything but an existing regular file. A pipe, a device or a folder is refused
  // without waiting for a writer or touching the device, so a path from anywhere cannot hang
  // the caller.
  bool open(const char* path);
  bool isOpen() const { return fd_ >= 0; }
  // Size of the open file; nullopt when none is open.
  std::optional<uint64_t> size() const;
  // Fills the whole span or returns false (end of file, error).
  bool readExact(std::span<uint8_t> destination);
  void close();

 private:
  intptr_t fd_ = -1;  // file descriptor or file handle
};

// Writes a file so that the target name only ever names a complete file: the bytes go to a
// hidden temporary file in the target's folder, which commit() flushes to disk and renames over
// the target. Destroyed or failed without a commit, it removes the temporary and leaves whatever
// the target was. Image files, masks, the settings store and recordings are all written this way.
//
// What the target already is decides how it is written:
// - a symbolic link is followed, to the end of its chain: the file it names is replaced (or
//   created, for a link to a name not there yet) and the link stays a link;
// - a regular file is replaced, and the new file keeps its permission bits and, where the
//   process may give them, its owner and group. A file with further hard links is replaced all
//   the same: those other names keep the complete previous content. Writing such a file in place
//   would expose every name to a half-written file, and to a torn one after a crash or a full
//   disk, which is what this class exists to prevent;
// - a character device or a pipe is written in place, with no temporary (nothing can be renamed
//   over it without destroying it, and writing to the null device is a normal wish). A pipe
//   needs a reader already there; bytes written stay written when the writer is abandoned;
// - a folder, a block device or a socket is refused.
// Opening a folder also removes there the temporaries of writers whose process has ended.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file in the folder of the target, or opens a device or pipe in place;
  // false when neither is possible or the target is of a kind that is refused.
  bool open(const char* targetPath);
  bool isOpen() const { return fd_ != -1; }
  // Appends at the end. False from the first failure on, and later writes and commit() fail
  // too, until resize() cuts the file back to a size its writer knows to be whole. What was
  // written of a failed piece stays beyond size() until then.
  bool write(std::span<const uint8_t> bytes);
  // Appends the pieces one after the other, in as few system calls as the platform allows (the
  // rows of a bottom-up picture go out without being gathered into a buffer first).
  bool writePieces(std::span<const std::span<const uint8_t>> pieces);
  // Overwrites bytes inside what has been written (encoders that patch a header at the end);
  // the end does not move. A range that reaches past the end fails the file, and so does a
  // target written in place that cannot seek (a pipe: its reader has the bytes already).
  bool writeAt(uint64_t offset, std::span<const uint8_t> bytes);
  // Cuts the file back (or extends it with a hole) to `size` bytes; writing continues there. A
  // target written in place cannot take back what it was sent: there only the current size,
  // without a failure, is accepted.
  bool resize(uint64_t size);
  // Bytes written so far.
  uint64_t size() const { return size_; }
  bool commit();
  void abandon();

 private:
  bool openInPlace(const char* path);

  intptr_t fd_ = -1;  // file descriptor or file handle
  bool failed_ = false;
  bool inPlace_ = false;  // a device or pipe written directly, no temporary
  uint64_t size_ = 0;
  std::string target_;
  std::string temporary_;
};

// Makes a write past the process's file-size limit fail on the calling thread instead of ending
// the whole process, as the OS does by default. For the library's own writing threads only.
void keepFileSizeLimitAsError();

// Size of the file at `path`, or -1 when it does not exist.
int64_t fileSize(const char* path);

}  // namespace nivexa::platform

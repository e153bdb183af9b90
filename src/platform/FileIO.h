#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace nivexa::platform {

// A file opened for reading, existing files only; reads are exact or fail.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool open(const char* path);
  bool isOpen() const { return fd_ >= 0; }
  // Size of a regular file; nullopt for anything else (a pipe or a device has no size to check).
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
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file in the folder of `targetPath`; false when that is not possible
  // (a path that names a folder included).
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
  // the end does not move. A range that reaches past the end fails the file.
  bool writeAt(uint64_t offset, std::span<const uint8_t> bytes);
  // Cuts the file back (or extends it with a hole) to `size` bytes; writing continues there.
  bool resize(uint64_t size);
  // Bytes written so far.
  uint64_t size() const { return size_; }
  bool commit();
  void abandon();

 private:
  intptr_t fd_ = -1;  // file descriptor or file handle
  bool failed_ = false;
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

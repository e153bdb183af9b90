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
// the target was.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  bool open(const char* targetPath);
  // False from the first failure on; later writes do nothing.
  bool write(std::span<const uint8_t> bytes);
  // Overwrites bytes inside what has been written (encoders that patch a header at the end);
  // the end does not move. A range that reaches past the end fails the file.
  bool writeAt(uint64_t offset, std::span<const uint8_t> bytes);
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

}  // namespace nivexa::platform

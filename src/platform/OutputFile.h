#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace nivexa::platform {

// A file being written under a hidden temporary name next to its final path and renamed into
// place by commit(), so that a crash or a failed recording never leaves a half-written file
// under the real name. Every operation reports failure; none retries beyond interrupted calls.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Removes the temporary file when it was never committed.
  ~OutputFile();

  // Creates the temporary file in the folder of `path`; false when that is not possible.
  bool create(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }

  // Appends at the current end; false unless every byte was written.
  bool append(std::span<const uint8_t> bytes);
  // Overwrites bytes that lie inside the file; the end does not move.
  bool writeAt(uint64_t offset, std::span<const uint8_t> bytes);
  // Cuts the file back (or extends it with a hole) to `size` bytes; appending continues there.
  bool resize(uint64_t size);
  uint64_t size() const { return size_; }

  // Flushes the file to disk, closes it and gives it its final name, replacing an existing file
  // of that name.
  bool commit();
  // Closes and removes the temporary file.
  void discard();

 private:
  intptr_t fd_ = -1;  // file descriptor or file handle
  uint64_t size_ = 0;
  std::string finalPath_;
  std::string tempPath_;
};

// Makes a write past the process's file-size limit fail on the calling thread instead of ending
// the whole process, as the OS does by default. For the library's own writing threads only.
void keepFileSizeLimitAsError();

// Size of the file at `path`, or -1 when it does not exist.
int64_t fileSize(const char* path);

}  // namespace nivexa::platform

#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace nivexa::platform {

// A file written under a hidden temporary name in the folder of its final path and renamed over
// that path by commit(), after its bytes have reached the disk. Until then the final name keeps
// what it held before, so a crash, a full disk or a failing encoder never leaves a half-written
// file that looks complete. Destroying an uncommitted file removes the temporary.
// Appends are buffered; every operation reports failure and a failed file stays failed.
class OutputFile {
 public:
  OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Creates the temporary file next to `path`; false when the folder does not exist, is not
  // writable, or the path names no file.
  bool create(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }
  // False once any write has failed; commit() then refuses.
  bool ok() const { return fd_ >= 0 && !failed_; }

  // Appends at the end.
  bool append(std::span<const uint8_t> bytes);
  // Overwrites bytes that lie inside the file; the end does not move.
  bool writeAt(uint64_t offset, std::span<const uint8_t> bytes);
  // Cuts the file back, or extends it with zeros, to `size` bytes; appending continues there.
  bool resize(uint64_t size);
  uint64_t size() const { return size_; }

  // Flushes, syncs and closes the file, then gives it its final name (replacing a file of that
  // name) and syncs the folder. On any failure the temporary is removed and false returned.
  bool commit();
  // Closes and removes the temporary file.
  void discard();

  const std::string& temporaryPath() const { return tempPath_; }

 private:
  bool flushBuffer();
  bool writeFully(uint64_t offset, const uint8_t* data, size_t length);
  void fail();

  int fd_ = -1;
  bool failed_ = false;
  uint64_t size_ = 0;     // logical size, buffered bytes included
  uint64_t flushed_ = 0;  // bytes that have reached the file
  std::unique_ptr<uint8_t[]> buffer_;
  size_t buffered_ = 0;
  std::string finalPath_;
  std::string tempPath_;
};

// Size of the file at `path`, or -1 when there is no such file.
int64_t fileSize(const char* path);

}  // namespace nivexa::platform

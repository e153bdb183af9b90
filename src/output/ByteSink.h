#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/FileIO.h"

namespace nivexa::output {

// Where an encoder's bytes go. The writers see only this, so tests can hand them a sink that
// fails part-way (a full disk) without touching the file system.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool append(std::span<const uint8_t> bytes) = 0;
  // Appends the pieces in order; a sink that can hand them on together overrides this.
  virtual bool appendPieces(std::span<const std::span<const uint8_t>> pieces) {
    for (const auto& piece : pieces) {
      if (!append(piece)) {
        return false;
      }
    }
    return true;
  }
  // Overwrites bytes inside what has been written; the end does not move.
  virtual bool writeAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
  virtual uint64_t size() const = 0;
};

// The sink of a file being written under its temporary name. Encoders hand over many small
// pieces (rows, library buffers); they are gathered so the file sees few large writes.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(platform::AtomicFileWriter& file);
  bool append(std::span<const uint8_t> bytes) override;
  bool appendPieces(std::span<const std::span<const uint8_t>> pieces) override;
  bool writeAt(uint64_t offset, std::span<const uint8_t> bytes) override;
  uint64_t size() const override { return file_.size() + buffered_; }
  // Writes what is gathered; false when the file refused it (or refused anything before).
  bool flush();

 private:
  platform::AtomicFileWriter& file_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t buffered_ = 0;
  bool failed_ = false;
};

}  // namespace nivexa::output

#pragma once

#include <cstdint>
#include <span>

#include "platform/OutputFile.h"

namespace nivexa::output {

// Where an encoder's bytes go. The writers see only this, so tests can hand them a sink that
// fails part-way (a full disk) without touching the file system.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool append(std::span<const uint8_t> bytes) = 0;
  // Overwrites bytes inside what has been written; the end does not move.
  virtual bool writeAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
  virtual uint64_t size() const = 0;
};

// The sink of a file being written under its temporary name.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(platform::OutputFile& file) : file_(file) {}
  bool append(std::span<const uint8_t> bytes) override { return file_.append(bytes); }
  bool writeAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    return file_.writeAt(offset, bytes);
  }
  uint64_t size() const override { return file_.size(); }

 private:
  platform::OutputFile& file_;
};

}  // namespace nivexa::output

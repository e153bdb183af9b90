#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/FileIO.h"

namespace nivexa::output {

// Where the AVI writer's bytes go: a file that grows at its end, with earlier bytes patched in
// place and the end cut back after a failed write.
class AviSink {
 public:
  virtual ~AviSink() = default;
  virtual bool append(std::span<const uint8_t> bytes) = 0;
  virtual bool writeAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
  virtual bool resize(uint64_t size) = 0;
  virtual uint64_t size() const = 0;
  // The file is complete: give it its final name.
  virtual bool finish() = 0;
};

// The sink of a real file; nullptr when it cannot be created.
std::unique_ptr<AviSink> openAviFileSink(const std::string& path);

class AviFileSink : public AviSink {
 public:
  bool create(const std::string& path) { return file_.open(path.c_str()); }
  bool append(std::span<const uint8_t> bytes) override { return file_.write(bytes); }
  bool writeAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    return file_.writeAt(offset, bytes);
  }
  bool resize(uint64_t size) override { return file_.resize(size); }
  uint64_t size() const override { return file_.size(); }
  bool finish() override { return file_.commit(); }

 private:
  platform::AtomicFileWriter file_;
};

}  // namespace nivexa::output

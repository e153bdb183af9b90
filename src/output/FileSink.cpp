#include <cstring>
#include <new>

#include "output/ByteSink.h"

namespace nivexa::output {
namespace {
constexpr size_t kGatherBytes = 256 * 1024;
}  // namespace

FileSink::FileSink(platform::AtomicFileWriter& file)
    : file_(file), buffer_(new (std::nothrow) uint8_t[kGatherBytes]) {}

bool FileSink::flush() {
  if (!failed_ && buffered_ > 0) {
    failed_ = !file_.write({buffer_.get(), buffered_});
    buffered_ = 0;
  }
  return !failed_;
}

bool FileSink::append(std::span<const uint8_t> bytes) {
  if (failed_) {
    return false;
  }
  // Without a gather buffer, or for blocks too large to gain from one, write straight through.
  if (!buffer_ || bytes.size() >= kGatherBytes) {
    failed_ = !flush() || !file_.write(bytes);
    return !failed_;
  }
  if (bytes.size() > kGatherBytes - buffered_ && !flush()) {
    return false;
  }
  std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
  buffered_ += bytes.size();
  return true;
}

bool FileSink::appendPieces(std::span<const std::span<const uint8_t>> pieces) {
  if (failed_) {
    return false;
  }
  failed_ = !flush() || !file_.writePieces(pieces);
  return !failed_;
}

bool FileSink::writeAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (!flush()) {
    return false;
  }
  failed_ = !file_.writeAt(offset, bytes);
  return !failed_;
}

}  // namespace nivexa::output

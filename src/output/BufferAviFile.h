#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/ApplyKernel.h"
#include "output/AviWriter.h"

namespace nivexa::output {

// One frame as an application buffer holds it: top row first, `stride` bytes from row to row.
struct BufferFrame {
  std::span<const uint8_t> bytes;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
  int32_t stride = 0;
  uint64_t timestampNs = 0;
};

// What a call on the file went wrong with; the C interface turns it into the handle's error code.
enum class BufferAviError {
  None,
  Argument,  // a path, format or frame the file cannot take, or the file is closed
  Write,     // the file could not be created or written whole
};

// An AVI recording fed frame by frame from application buffers, in the same 24-bit bottom-up
// form the library's own recorder writes. The file keeps a temporary name until Close, so a
// recording that is abandoned (the object destroyed before Close) never appears under its name.
class BufferAviFile {
 public:
  // Opens the file for frames of this format; framesPerSecond 0 lets the frames' own
  // timestamps decide the rate written at Close. maxFrames (0: unknown) chooses the layout as
  // AviFormat::maxFrames does.
  BufferAviError Open(const std::string& path, int32_t width, int32_t height, int32_t bitsPerPixel,
                      double framesPerSecond, uint64_t maxFrames,
                      const AviLimits& limits = AviLimits{});
  BufferAviError Append(const BufferFrame& frame);
  BufferAviError Close();

  bool IsOpen() const { return writer_.IsOpen(); }
  uint64_t FrameCount() const { return frames_; }
  static bool AcceptsDepth(int32_t bitsPerPixel);

 private:
  uint32_t rate() const;

  AviWriter writer_;
  imaging::Kernel convert_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t bitsPerPixel_ = 0;
  uint32_t fixedRate_ = 0;  // hundredths of a frame per second; 0 when the frames decide
  std::vector<uint8_t> rows_;
  uint64_t frames_ = 0;
  uint64_t firstNs_ = 0;
  uint64_t lastNs_ = 0;
};

}  // namespace nivexa::output

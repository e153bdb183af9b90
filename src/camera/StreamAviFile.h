#pragma once

#include <cstdint>
#include <memory>

#include "NivexaStream.h"

namespace nivexa::output {
class BufferAviFile;
}

namespace nivexa::camera {

// An AVI recording fed from the buffers of a buffer stream. Each call answers with the interface's
// error code (NIVEXA_OK on success), so the exports only have to file it on the handle's stack.
class StreamAviFile {
 public:
  StreamAviFile();
  ~StreamAviFile();
  StreamAviFile(const StreamAviFile&) = delete;
  StreamAviFile& operator=(const StreamAviFile&) = delete;

  uint32_t Open(const char* path, int32_t width, int32_t height, int32_t bitsPerPixel,
                double framesPerSecond, uint64_t maxFrames);
  // Only a complete buffer carries a frame worth writing; anything else is refused.
  uint32_t Append(const NivexaBuffer* buffer);
  uint32_t Close();
  uint64_t FrameCount() const;

 private:
  std::unique_ptr<output::BufferAviFile> file_;
};

}  // namespace nivexa::camera

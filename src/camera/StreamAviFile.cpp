#include "camera/StreamAviFile.h"

#include "NivexaSdk.h"
#include "output/BufferAviFile.h"

namespace nivexa::camera {

namespace {

uint32_t errorCodeOf(output::BufferAviError error) {
  switch (error) {
    case output::BufferAviError::None:
      return NIVEXA_OK;
    case output::BufferAviError::Argument:
      return NIVEXA_ERR_ARGUMENT;
    case output::BufferAviError::Write:
      return NIVEXA_ERR_TEXT;
  }
  return NIVEXA_ERR_ARGUMENT;
}

}  // namespace

StreamAviFile::StreamAviFile() : file_(std::make_unique<output::BufferAviFile>()) {}

StreamAviFile::~StreamAviFile() = default;

uint32_t StreamAviFile::Open(const char* path, int32_t width, int32_t height, int32_t bitsPerPixel,
                             double framesPerSecond, uint64_t maxFrames) {
  if (path == nullptr) {
    return NIVEXA_ERR_ARGUMENT;
  }
  return errorCodeOf(file_->Open(path, width, height, bitsPerPixel, framesPerSecond, maxFrames));
}

uint32_t StreamAviFile::Append(const NivexaBuffer* buffer) {
  if (buffer == nullptr || buffer->data == nullptr || buffer->status != NIVEXA_BUFFER_COMPLETE) {
    return NIVEXA_ERR_ARGUMENT;
  }
  output::BufferFrame frame;
  frame.bytes = {static_cast<const uint8_t*>(buffer->data), buffer->capacity};
  frame.width = buffer->width;
  frame.height = buffer->height;
  frame.bitsPerPixel = buffer->bitsPerPixel;
  frame.stride = buffer->stride;
  frame.timestampNs = buffer->timestampNs;
  return errorCodeOf(file_->Append(frame));
}

uint32_t StreamAviFile::Close() {
  return errorCodeOf(file_->Close());
}

uint64_t StreamAviFile::FrameCount() const {
  return file_->FrameCount();
}

}  // namespace nivexa::camera

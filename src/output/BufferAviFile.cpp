#include "output/BufferAviFile.h"

#include <algorithm>
#include <cmath>

#include "imaging/kernels/ConvertKernels.h"
#include "platform/Log.h"

namespace nivexa::output {

namespace {

constexpr double kRateUnitsPerFrame = 100.0;  // the writer's rate is in hundredths of a frame
constexpr uint64_t kNsPerSecond = 1000000000;
constexpr int32_t kBitsPerByte = 8;
constexpr int32_t kFileBytesPerPixel = 3;  // the file's frames are 24-bit

}  // namespace

bool BufferAviFile::AcceptsDepth(int32_t bitsPerPixel) {
  return imaging::kernels::bgr24FlippedKernelFor(bitsPerPixel) != nullptr;
}

BufferAviError BufferAviFile::Open(const std::string& path, int32_t width, int32_t height,
                                   int32_t bitsPerPixel, double framesPerSecond, uint64_t maxFrames,
                                   const AviLimits& limits) {
  // NaN fails every comparison, so it is refused with the negative rates.
  if (path.empty() || width <= 0 || height <= 0 || !AcceptsDepth(bitsPerPixel) ||
      !(framesPerSecond >= 0) || !std::isfinite(framesPerSecond)) {
    return BufferAviError::Argument;
  }
  AviFormat format;
  format.width = width;
  format.height = height;
  format.sourceBitsPerPixel = static_cast<uint16_t>(bitsPerPixel);
  format.maxFrames = maxFrames;
  if (!writer_.Open(path, format, limits)) {
    NIVEXA_LOG(Output, Error, "cannot create the recording '%s'", path.c_str());
    return BufferAviError::Write;
  }
  rows_.assign(writer_.FrameBytes(), 0);
  convert_ = imaging::kernels::bgr24FlippedKernelFor(bitsPerPixel);
  width_ = width;
  height_ = height;
  bitsPerPixel_ = bitsPerPixel;
  fixedRate_ =
      framesPerSecond == 0
          ? 0
          : static_cast<uint32_t>(std::clamp(std::round(framesPerSecond * kRateUnitsPerFrame), 1.0,
                                             static_cast<double>(UINT32_MAX)));
  frames_ = 0;
  return BufferAviError::None;
}

BufferAviError BufferAviFile::Append(const BufferFrame& frame) {
  if (!writer_.IsOpen()) {
    return BufferAviError::Argument;
  }
  const int64_t rowBytes = int64_t{frame.width} * (frame.bitsPerPixel / kBitsPerByte);
  if (frame.width != width_ || frame.height != height_ || frame.bitsPerPixel != bitsPerPixel_ ||
      frame.stride < rowBytes ||
      static_cast<uint64_t>(frame.stride) * static_cast<uint64_t>(frame.height) >
          frame.bytes.size()) {
    return BufferAviError::Argument;
  }
  imaging::KernelArgs args;
  args.dst = rows_.data();
  args.src = frame.bytes.data();
  args.rect = imaging::Rect{0, 0, width_, height_};
  args.dstBytesPerPixel = kFileBytesPerPixel;
  args.srcBytesPerPixel = bitsPerPixel_ / kBitsPerByte;
  args.dstStride = static_cast<int32_t>(writer_.Stride());
  args.srcStride = frame.stride;
  convert_(args);
  if (writer_.AppendFrame(rows_) != AppendResult::Written) {
    return BufferAviError::Write;
  }
  if (frames_ == 0) {
    firstNs_ = frame.timestampNs;
  }
  lastNs_ = frame.timestampNs;
  ++frames_;
  return BufferAviError::None;
}

uint32_t BufferAviFile::rate() const {
  if (fixedRate_ != 0) {
    return fixedRate_;
  }
  if (frames_ < 2 || lastNs_ <= firstNs_) {
    return AviWriter::kOpenRate;
  }
  // Intervals between the frames, not the frames themselves, measure the time they spanned.
  const double perSecond = static_cast<double>(frames_ - 1) * static_cast<double>(kNsPerSecond) /
                           static_cast<double>(lastNs_ - firstNs_);
  return static_cast<uint32_t>(
      std::clamp(std::round(perSecond * kRateUnitsPerFrame), 1.0, static_cast<double>(UINT32_MAX)));
}

BufferAviError BufferAviFile::Close() {
  if (!writer_.IsOpen()) {
    return BufferAviError::Argument;
  }
  rows_ = {};
  return writer_.Close(rate()) ? BufferAviError::None : BufferAviError::Write;
}

}  // namespace nivexa::output

#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "output/AviSink.h"
#include "output/RiffChunks.h"

namespace nivexa::output {

// Sizes at which a file or a RIFF chunk is full. A recording whose announced frames fit in
// `plainBytes` has the plain layout: one RIFF chunk with an idx1 index. A 32-bit RIFF size could
// describe 4 GiB, but readers that keep sizes and positions in signed 32-bit integers stop at
// 2 GiB, so a plain file stays below that. A longer recording has the extended layout, whose
// first chunk ends at 1 GiB as OpenDML recommends for readers that know only that chunk; it
// continues in 'AVIX' chunks of the same size. Tests lower them to cover long recordings with
// little data.
struct AviLimits {
  uint64_t plainBytes = (uint64_t{1} << 31) - 1;
  uint64_t firstRiffBytes = uint64_t{1} << 30;
  uint64_t riffBytes = uint64_t{1} << 30;
};

struct AviFormat {
  int32_t width = 0;
  int32_t height = 0;
  // Depth of the bitmap the frames come from; the file always holds 24-bit frames.
  uint16_t sourceBitsPerPixel = 24;
  // The most frames the recording can reach, or 0 when unknown. When that many frames fit in
  // a plain file the file has the plain layout; otherwise room for the extended index is laid
  // out in the header from the start, since it cannot be made later. A plain file that receives
  // more frames than announced takes them while they fit and is then full.
  uint64_t maxFrames = 0;
};

enum class AppendResult {
  Written,
  WriteFailed,  // the disk refused bytes: the frame is not in the file
  Full,         // the file can hold no more frames
  Rejected,     // not open, or the rows are not one frame of this file
};

// Uncompressed 24-bit AVI files: one video stream of bottom-up rows, one chunk per frame and
// an index. Frames are appended as they come; Close writes the index and the final counts.
class AviWriter {
 public:
  static constexpr uint32_t kOpenRate = 3000;  // hundredths of a frame per second

  AviWriter() = default;
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Creates the file (replacing one of that name when it is complete) and writes everything
  // up to the 'movi' tag; false when the format is unusable or the file cannot be written.
  bool Open(const std::string& path, const AviFormat& format, const AviLimits& limits = {});
  bool Open(std::unique_ptr<AviSink> sink, const AviFormat& format, const AviLimits& limits = {});
  bool IsOpen() const { return sink_ != nullptr; }

  // `rows`: FrameBytes() bytes of bottom-up 24-bit rows, each padded to 4 bytes.
  AppendResult AppendFrame(std::span<const uint8_t> rows);

  // Completes the file with the frames fully written and the rate R (hundredths of a frame per
  // second). False when any write failed, including earlier appends; the file then holds the
  // frames that were completely written, as a valid AVI.
  bool Close(uint32_t rate);

  uint32_t FrameBytes() const { return frameBytes_; }
  uint32_t Stride() const { return stride_; }
  uint64_t FrameCount() const { return framePositions_.size(); }
  uint64_t FileBytes() const { return sink_ ? sink_->size() : fileBytes_; }
  bool Extended() const { return extended_; }
  bool WriteFailed() const { return writeFailed_; }

  // Rate R from the frames recorded and the milliseconds from the first to the last frame;
  // the nominal open rate when no time has passed.
  static uint32_t MeasuredRate(uint64_t frames, uint32_t elapsedMs);
  static uint32_t StrideOf(int32_t width) { return (static_cast<uint32_t>(width) * 3 + 3) & ~3u; }

 private:
  struct Riff {
    uint64_t start = 0;    // position of its 'RIFF' tag
    uint64_t moviTag = 0;  // position of its 'movi' tag
    uint64_t moviEnd = 0;  // end of its movi list, once finished
    uint64_t end = 0;      // end of the chunk, once finished
    size_t firstFrame = 0;
    size_t frames = 0;
    uint64_t indexOffset = 0;  // its standard index, once written
    uint32_t indexBytes = 0;
    bool finished = false;
  };

  std::vector<uint8_t> encodeHeader(uint32_t rate) const;
  uint64_t tailBytes(const Riff& riff, size_t frames) const;
  uint64_t limitOf(const Riff& riff) const;
  bool writeTail(Riff& riff);
  bool finishRiff();
  bool beginContinuation();
  bool patchSizes(const Riff& riff);
  void dropLastFrame();
  void reset();

  std::unique_ptr<AviSink> sink_;
  AviLimits limits_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  uint16_t sourceDepth_ = 0;
  uint32_t stride_ = 0;
  uint32_t frameBytes_ = 0;
  bool extended_ = false;
  size_t superIndexCapacity_ = 0;
  bool writeFailed_ = false;
  bool full_ = false;
  uint64_t fileBytes_ = 0;
  std::vector<Riff> riffs_;
  // File position of every frame's chunk; the index entries are derived from it at the end.
  std::vector<uint64_t> framePositions_;
};

}  // namespace nivexa::output

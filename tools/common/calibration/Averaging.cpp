#include "Averaging.h"

#include <array>

#include "NivexaSdk.h"
#include "NivexaStream.h"

namespace nivexa::calibration {
namespace {

constexpr size_t kBuffers = 4;
constexpr int32_t kSampleBits = 16;
constexpr uint32_t kBytesPerSample = 2;
constexpr uint32_t kByteBits = 8;

// Stops the stream however the averaging ends, before the buffers it lent go away.
class StreamGuard {
 public:
  explicit StreamGuard(int32_t handle) : handle_(handle) {}
  StreamGuard(const StreamGuard&) = delete;
  StreamGuard& operator=(const StreamGuard&) = delete;
  // The cancelled buffers are taken back too: the library would otherwise still hold them as
  // lent, and refuse buffers at the same addresses in a later stream.
  ~StreamGuard() {
    NivexaStream_Stop(handle_);
    while (NivexaStream_Wait(handle_, 0) != nullptr) {
    }
  }

 private:
  int32_t handle_;
};

AveragedFrame failure(int32_t handle, std::string problem) {
  AveragedFrame result;
  result.problem = std::move(problem);
  result.error = Nivexa_GetLastError(handle);
  return result;
}

}  // namespace

AveragedFrame averageFrames(int32_t handle, int32_t flags, uint32_t frames, int32_t timeoutMs) {
  const uint32_t frameBytes = NivexaStream_FrameBytes(handle, flags);
  if (frameBytes == 0) {
    return failure(handle, "the camera cannot stream");
  }
  std::array<std::vector<uint8_t>, kBuffers> memory;
  std::array<NivexaBuffer, kBuffers> buffers{};
  std::vector<uint32_t> sums;
  AveragedFrame result;
  {
    // The guard is declared after the buffers so that it stops the stream before they go.
    const StreamGuard guard(handle);
    for (size_t i = 0; i < kBuffers; ++i) {
      memory[i].resize(frameBytes);
      buffers[i].data = memory[i].data();
      buffers[i].capacity = frameBytes;
      if (!NivexaStream_Queue(handle, &buffers[i])) {
        return failure(handle, "a buffer was refused");
      }
    }
    if (!NivexaStream_Start(handle, flags)) {
      return failure(handle, "the stream did not start");
    }
    while (result.frames < frames) {
      NivexaBuffer* filled = NivexaStream_Wait(handle, timeoutMs);
      if (filled == nullptr) {
        return failure(handle, "no frame arrived in time");
      }
      if (filled->status == NIVEXA_BUFFER_FAILED) {
        return failure(handle, "the camera stopped delivering frames");
      }
      if (filled->status == NIVEXA_BUFFER_COMPLETE) {
        if (filled->bitsPerPixel != kSampleBits) {
          return failure(handle, "the frames are not 16 bits per pixel");
        }
        if (result.frames == 0) {
          result.width = filled->width;
          result.height = filled->height;
          sums.assign(static_cast<size_t>(result.width) * static_cast<size_t>(result.height), 0);
        }
        if (filled->width != result.width || filled->height != result.height) {
          return failure(handle, "the frame size changed while averaging");
        }
        const auto* bytes = static_cast<const uint8_t*>(filled->data);
        size_t at = 0;
        for (int32_t y = 0; y < result.height; ++y) {
          const uint8_t* row = bytes + static_cast<size_t>(y) * static_cast<size_t>(filled->stride);
          for (int32_t x = 0; x < result.width; ++x, ++at) {
            const uint8_t* sample = row + static_cast<size_t>(x) * kBytesPerSample;
            sums[at] +=
                static_cast<uint32_t>(sample[0]) | (static_cast<uint32_t>(sample[1]) << kByteBits);
          }
        }
        ++result.frames;
      }
      NivexaStream_Queue(handle, filled);
    }
    NivexaStreamStatistics statistics{};
    NivexaStream_GetStatistics(handle, &statistics);
    result.lost = statistics.framesLost;
    result.dropped = statistics.framesDropped;
  }
  result.pixels.resize(sums.size());
  for (size_t i = 0; i < sums.size(); ++i) {
    result.pixels[i] = static_cast<uint16_t>((sums[i] + result.frames / 2) / result.frames);
  }
  result.ok = true;
  return result;
}

}  // namespace nivexa::calibration

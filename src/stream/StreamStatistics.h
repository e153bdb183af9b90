#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "NivexaStream.h"

namespace nivexa::stream {

// The counts of one buffer stream: written by the acquisition thread, read by any thread.
class StreamStatistics {
 public:
  // A new stream: every count back to zero, no frame counter seen yet.
  void reset(uint64_t nowMs);
  // A frame arrived with the camera's 32-bit frame counter and the host's count of frames
  // received (`sequence`). Frames the host received after the previous one seen here but never
  // took (newer ones replaced them while the stream was busy) are dropped; the rest of a jump of
  // the frame counter beyond the next number the camera sent and the host never received.
  void frameArrived(uint32_t frameCounter, uint64_t sequence, uint64_t nowMs);
  void frameDropped();
  void delivered(uint64_t bytes);
  void incomplete();
  void failed(uint64_t buffers);
  NivexaStreamStatistics snapshot() const;

 private:
  // The rate is measured over windows of about this length.
  static constexpr uint64_t kRateWindowMs = 1000;

  mutable std::mutex mutex_;
  NivexaStreamStatistics counts_{};
  std::optional<uint32_t> lastCounter_;
  uint64_t lastSequence_ = 0;
  uint64_t windowStartMs_ = 0;
  uint64_t windowFrames_ = 0;
  // Until a whole window has passed, the rate is taken from the frames seen so far.
  bool windowCompleted_ = false;
  uint64_t firstArrivalMs_ = 0;
  uint64_t lastArrivalMs_ = 0;
};

}  // namespace nivexa::stream

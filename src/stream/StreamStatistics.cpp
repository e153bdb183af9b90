#include "stream/StreamStatistics.h"

namespace nivexa::stream {

void StreamStatistics::reset(uint64_t nowMs) {
  std::lock_guard lock(mutex_);
  counts_ = {};
  lastCounter_.reset();
  lastSequence_ = 0;
  windowStartMs_ = nowMs;
  windowFrames_ = 0;
  windowCompleted_ = false;
  firstArrivalMs_ = 0;
  lastArrivalMs_ = 0;
}

void StreamStatistics::frameArrived(uint32_t frameCounter, uint64_t sequence, uint64_t nowMs) {
  std::lock_guard lock(mutex_);
  if (lastCounter_) {
    const uint64_t skipped = sequence > lastSequence_ ? sequence - lastSequence_ - 1 : 0;
    counts_.framesDropped += skipped;
    // Unsigned arithmetic wraps with the counter. A repeated or older number is no loss.
    const uint32_t step = frameCounter - *lastCounter_;
    if (step >= 1 && step < (1u << 31) && step - 1 > skipped) {
      counts_.framesLost += step - 1 - skipped;
    }
  }
  lastSequence_ = sequence;
  if (!lastCounter_) {
    firstArrivalMs_ = nowMs;
  }
  lastCounter_ = frameCounter;
  lastArrivalMs_ = nowMs;
  ++windowFrames_;
  const uint64_t elapsed = nowMs - windowStartMs_;
  if (elapsed >= kRateWindowMs) {
    counts_.frameRate = static_cast<double>(windowFrames_) * 1000.0 / static_cast<double>(elapsed);
    windowStartMs_ = nowMs;
    windowFrames_ = 0;
    windowCompleted_ = true;
  } else if (!windowCompleted_ && lastArrivalMs_ > firstArrivalMs_) {
    counts_.frameRate = static_cast<double>(windowFrames_ - 1) * 1000.0 /
                        static_cast<double>(lastArrivalMs_ - firstArrivalMs_);
  }
}

void StreamStatistics::frameDropped() {
  std::lock_guard lock(mutex_);
  ++counts_.framesDropped;
}

void StreamStatistics::delivered(uint64_t bytes) {
  std::lock_guard lock(mutex_);
  ++counts_.framesDelivered;
  counts_.bytes += bytes;
}

void StreamStatistics::incomplete() {
  std::lock_guard lock(mutex_);
  ++counts_.incompleteTransfers;
}

void StreamStatistics::failed(uint64_t buffers) {
  std::lock_guard lock(mutex_);
  counts_.failedTransfers += buffers;
}

NivexaStreamStatistics StreamStatistics::snapshot() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

}  // namespace nivexa::stream

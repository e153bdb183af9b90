#pragma once

#include <cstdint>

namespace nivexa::engine {

// Frames per second over reporting periods: each frame is counted, and once a period has passed
// since the last report the rate over that time is reported and counting starts afresh. Each
// engine has its own, so two cameras in one process never mix their rates.
class FrameRateCounter {
 public:
  static constexpr uint32_t kPeriodMs = 1000;

  explicit FrameRateCounter(uint32_t nowMs) : lastReportMs_(nowMs) {}

  // Counts one frame at `nowMs`; true with `rate` set when a report is due.
  bool count(uint32_t nowMs, float& rate);

 private:
  uint32_t frames_ = 0;
  uint32_t lastReportMs_;
};

// The transfer rate of one frame in megabits per second (2^20 bits): whole KiB of the frame,
// times 1/128, per second taken.
double transferRateMbit(uint32_t frameBytes, uint32_t elapsedMs);

}  // namespace nivexa::engine

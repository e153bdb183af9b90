#include "engine/FrameRateCounter.h"

namespace nivexa::engine {

bool FrameRateCounter::count(uint32_t nowMs, float& rate) {
  ++frames_;
  const uint32_t elapsed = nowMs - lastReportMs_;
  if (elapsed < kPeriodMs) {
    return false;
  }
  rate = static_cast<float>(frames_) * 1000.0f / static_cast<float>(elapsed);
  frames_ = 0;
  lastReportMs_ = nowMs;
  return true;
}

double transferRateMbit(uint32_t frameBytes, uint32_t elapsedMs) {
  const double megabits = static_cast<double>(frameBytes / 1024) * 0.0078125;
  return megabits / (static_cast<double>(elapsedMs) / 1000.0);
}

}  // namespace nivexa::engine

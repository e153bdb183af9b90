#include "Calibration.h"

#include <algorithm>
#include <cmath>

namespace nivexa::viewer {

namespace {
// The middle of the frame: a border of this share of each side is left out.
constexpr int kBorderDivisor = 8;
}  // namespace

bool settled(std::span<const TemperatureSample> samples, double windowSeconds,
             double toleranceCelsius) {
  if (samples.empty() || samples.back().seconds - samples.front().seconds < windowSeconds) {
    return false;
  }
  const double since = samples.back().seconds - windowSeconds;
  double low = samples.back().celsius;
  double high = low;
  for (const TemperatureSample& sample : samples) {
    if (sample.seconds >= since) {
      low = std::min(low, sample.celsius);
      high = std::max(high, sample.celsius);
    }
  }
  return high - low <= toleranceCelsius;
}

Evenness evennessOf(const FrameView& frame) {
  Evenness result;
  if (!frame.valid()) {
    return result;
  }
  const int left = frame.width / kBorderDivisor;
  const int top = frame.height / kBorderDivisor;
  double sum = 0.0;
  double squares = 0.0;
  uint64_t count = 0;
  for (int y = top; y < frame.height - top; ++y) {
    for (int x = left; x < frame.width - left; ++x) {
      const double value = frame.at(x, y);
      sum += value;
      squares += value * value;
      ++count;
    }
  }
  if (count == 0) {
    return result;
  }
  result.mean = sum / static_cast<double>(count);
  const double variance =
      std::max(0.0, squares / static_cast<double>(count) - result.mean * result.mean);
  result.relativeSpread = result.mean > 0.0 ? std::sqrt(variance) / result.mean : 0.0;
  return result;
}

}  // namespace nivexa::viewer

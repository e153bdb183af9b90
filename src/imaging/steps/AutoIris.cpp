#include "imaging/steps/AutoIris.h"

#include <algorithm>

namespace nivexa::imaging::steps {
namespace {

// Factors are kept in hundredths: summed as binary fractions, 0.85 - 4 x 0.15 comes out just
// below 0.25 and 1000 x that truncates to 249.
int32_t firstFactor(int32_t mean) {
  if (mean >= 201) {
    return 85;
  }
  if (mean >= 161) {
    return 90;
  }
  if (mean >= 100) {
    return 100;
  }
  if (mean >= 50) {
    return 105;
  }
  return 110;
}

int32_t adjustment(int32_t mean) {
  if (mean >= 201) {
    return -15;
  }
  if (mean >= 161) {
    return -10;
  }
  if (mean >= 100) {
    return 0;
  }
  if (mean >= 50) {
    return 5;
  }
  return 10;
}

}  // namespace

std::array<MeasureRect, 5> measureRects(int32_t w, int32_t h) {
  static constexpr double kCorners[5][4] = {
      {0.1, 0.1, 0.2, 0.2}, {0.1, 0.8, 0.2, 0.9}, {0.45, 0.45, 0.55, 0.55},
      {0.8, 0.1, 0.9, 0.2}, {0.8, 0.8, 0.9, 0.9},
  };
  std::array<MeasureRect, 5> rects{};
  for (size_t i = 0; i < 5; ++i) {
    MeasureRect& r = rects[i];
    r.left = static_cast<int32_t>(kCorners[i][0] * w);
    r.top = static_cast<int32_t>(kCorners[i][1] * h);
    r.right = std::max(static_cast<int32_t>(kCorners[i][2] * w), r.left + 1);
    r.bottom = std::max(static_cast<int32_t>(kCorners[i][3] * h), r.top + 1);
  }
  return rects;
}

int32_t rectMean(const ImageView& raw, const MeasureRect& r) {
  uint64_t sum = 0;
  for (int32_t y = r.top; y < r.bottom; ++y) {
    for (int32_t x = r.left; x < r.right; ++x) {
      sum += raw.wide() ? (raw.row<uint16_t>(y)[x] >> 4) : raw.row<uint8_t>(y)[x];
    }
  }
  const uint64_t count = static_cast<uint64_t>(r.right - r.left) * (r.bottom - r.top);
  return static_cast<int32_t>(sum / count);
}

int32_t exposureFactorPercent(const std::array<int32_t, 5>& means) {
  int32_t f = firstFactor(means[0]);
  for (size_t i = 1; i < 5; ++i) {
    f += adjustment(means[i]);
  }
  return f;
}

void autoIris(const ImageView& raw, int32_t mode, PipelineHost& host) {
  if ((mode != 1 && mode != 2) || !raw.valid() || raw.channels != 1) {
    return;
  }
  const auto rects = measureRects(raw.width, raw.height);
  std::array<int32_t, 5> means{};
  for (size_t i = 0; i < 5; ++i) {
    means[i] = rectMean(raw, rects[i]);
  }
  const int32_t f = exposureFactorPercent(means);
  if (f > 60 && f < 120) {
    return;
  }
  if (mode == 2) {
    const int32_t m = host.currentGain();
    int32_t v = static_cast<int32_t>(int64_t{std::max(m, 4)} * f / 100);
    if (f > 100 && v < 5) {
      v = 4;
    }
    v = std::clamp(v, host.gainMinimum(), std::max(host.gainMinimum(), host.gainMaximum()));
    host.setAutoGain(v);
  } else {
    const int32_t m = host.currentExposure();
    int32_t v = static_cast<uint16_t>(int64_t{m} * f / 100);
    if (v == 0) {
      v = 1;
    }
    v = std::clamp(v, host.exposureMinimum(),
                   std::max(host.exposureMinimum(), host.exposureMaximum()));
    host.setAutoExposure(v);
  }
}

}  // namespace nivexa::imaging::steps

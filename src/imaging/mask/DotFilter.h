#pragma once

#include <cstdint>
#include <vector>

#include "imaging/DibImage.h"
#include "imaging/mask/MaskFilter.h"

namespace nivexa::imaging::mask {

inline constexpr int32_t kDotThreshold8 = 30;
inline constexpr int32_t kDotThreshold16 = 480;

// Replaces hot, dead and outlier pixels by the mean of the nearest unmarked pixel in each of the
// four directions. hot and dead are the defect maps of the frame's depth (full-sensor
// coordinates, read at the pixel's sensor position); work is the per-depth work map, cleared and
// refilled here. Frames of other depths, or maps of another depth, are left alone.
class DotFilter {
 public:
  void apply(DibImage& raw, const DibImage& hot, const DibImage& dead, DibImage& work,
             const SensorWindow& window, int32_t threshold);

 private:
  struct Marked {
    int32_t x;
    int32_t y;
    int64_t sum;
    int32_t count;
    int32_t below;  // the unmarked sample just below, or -1 when the pixel below is marked
  };
  template <typename Sample>
  void run(DibImage& raw, const DibImage& hot, const DibImage& dead, DibImage& work,
           const SensorWindow& window, int32_t threshold);

  // Kept between frames so that a frame costs no allocation once they have grown.
  std::vector<Marked> marked_;
  std::vector<int32_t> nearest_;
  std::vector<uint8_t> flags_;  // the work map of two rows in compact form, one byte a pixel
  std::vector<uint8_t> rowMarked_;
  // The work map cleared by the last frame, and its size, so that the next frame clears only
  // what the last one marked.
  const uint8_t* lastWork_ = nullptr;
  size_t lastWorkBytes_ = 0;
};

// The search written plainly: for each marked pixel walk outwards until an unmarked one. The
// oracle for DotFilter; quadratic when whole rows are marked.
void dotFilterReference(DibImage& raw, const DibImage& hot, const DibImage& dead, DibImage& work,
                        const SensorWindow& window, int32_t threshold);

}  // namespace nivexa::imaging::mask

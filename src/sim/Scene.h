#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nivexa::sim {

// What the camera looks at, as seen through its lens: a deterministic pattern with gradients,
// sharp edges and fine detail, already darkened towards the corners (vignetting), plus the
// sensor's fixed defective pixels. Built once per process; read only afterwards.
class Scene {
 public:
  enum Defect : uint8_t { kNone = 0, kHot = 1, kDead = 2 };

  // Brightest scene point in digital numbers per microsecond of exposure at unity gain.
  static constexpr float kPeakRate = 0.08f;
  // A hot pixel collects this much extra per microsecond whatever it looks at.
  static constexpr float kHotRate = 0.05f;
  static constexpr int kHotPixels = 400;
  static constexpr int kDeadPixels = 200;
  // Brightness of the flat-field panel relative to the brightest scene point.
  static constexpr float kFlatLevel = 0.6f;

  static const Scene& instance();

  float rate(int x, int y) const { return rate_[static_cast<size_t>(y) * width_ + x]; }
  // A uniformly lit panel seen through the same lens: only the vignetting varies.
  float flatRate(int x, int y) const { return kPeakRate * kFlatLevel * vignetting(x, y); }
  float vignetting(int x, int y) const;
  Defect defect(int x, int y) const {
    return static_cast<Defect>(defects_[static_cast<size_t>(y) * width_ + x]);
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  Scene(int width, int height);

  int width_;
  int height_;
  std::vector<float> rate_;
  std::vector<uint8_t> defects_;
};

}  // namespace nivexa::sim

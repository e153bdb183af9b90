#include "sim/Scene.h"

#include <cmath>

#include "sim/SensorRegisterMap.h"

namespace nivexa::sim {
namespace {

uint64_t splitmix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Reflectance 0..1 of the pattern at array pixel (x, y).
float pattern(int x, int y, int w, int h) {
  float fx = static_cast<float>(x) / w;
  float fy = static_cast<float>(y) / h;
  // Background: brighter to the right and slightly towards the bottom, so orientation shows.
  float v = 0.15f + 0.45f * fx + 0.1f * fy;
  // A bright square near the top-left corner.
  if (x >= 96 && x < 352 && y >= 96 && y < 352) {
    v = 0.95f;
  }
  // A row of grey patches with hard edges across the middle.
  if (y >= h * 3 / 8 && y < h * 5 / 8 && x >= w / 8 && x < w * 7 / 8) {
    int patch = (x - w / 8) * 6 / (w * 3 / 4);
    v = 0.1f + 0.15f * patch;
  }
  // Line pairs of rising frequency along the bottom band.
  if (y >= h * 3 / 4 && y < h * 7 / 8) {
    float phase = 3.14159265f * fx * fx * w / 8.0f;
    v = 0.5f + 0.4f * std::cos(phase);
  }
  // A zone plate in the top-right quarter.
  float dx = static_cast<float>(x - w * 3 / 4);
  float dy = static_cast<float>(y - h / 4);
  float r2 = dx * dx + dy * dy;
  if (r2 < 200.0f * 200.0f) {
    v = 0.5f + 0.35f * std::cos(r2 * 0.0015f);
  }
  return v;
}

}  // namespace

float Scene::vignetting(int x, int y) const {
  const float cx = (width_ - 1) / 2.0f;
  const float cy = (height_ - 1) / 2.0f;
  const float corner2 = cx * cx + cy * cy;
  const float r2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / corner2;
  return 1.0f - 0.35f * r2;
}

const Scene& Scene::instance() {
  // Never destroyed, like the camera set: a camera's clock thread may still be rendering from it
  // while the process runs its exit handlers.
  static const Scene* scene = new Scene(sensor::kArrayWidth, sensor::kArrayHeight);
  return *scene;
}

Scene::Scene(int width, int height)
    : width_(width),
      height_(height),
      rate_(static_cast<size_t>(width) * height),
      defects_(static_cast<size_t>(width) * height, kNone) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      rate_[static_cast<size_t>(y) * width + x] =
          kPeakRate * pattern(x, y, width, height) * vignetting(x, y);
    }
  }
  uint64_t state = 0x5EED5CE7Eull;
  auto place = [&](int count, Defect kind) {
    for (int placed = 0; placed < count;) {
      uint64_t r = splitmix(state);
      size_t index = static_cast<size_t>(r % (static_cast<uint64_t>(width) * height));
      if (defects_[index] == kNone) {
        defects_[index] = kind;
        ++placed;
      }
    }
  };
  place(kHotPixels, kHot);
  place(kDeadPixels, kDead);
}

}  // namespace nivexa::sim

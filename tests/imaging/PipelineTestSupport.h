#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "imaging/PipelineHost.h"
#include "imaging/steps/ImageView.h"

namespace nivexa::imaging::testing {

// A bitmap-shaped buffer whose last row ends flush with the allocation, so a kernel reading or
// writing past the frame trips the address sanitizer.
struct Frame {
  std::vector<uint8_t> bytes;
  steps::ImageView view;

  Frame(int32_t width, int32_t height, int32_t channels, int32_t sampleBytes) {
    const int32_t rowBytes = width * channels * sampleBytes;
    const int32_t stride = (rowBytes + 3) / 4 * 4;
    bytes.assign(static_cast<size_t>(stride) * (height - 1) + rowBytes, 0);
    view = {bytes.data(), width, height, stride, channels, sampleBytes};
  }
  Frame(const Frame& other) : bytes(other.bytes), view(other.view) { view.data = bytes.data(); }
  Frame& operator=(const Frame&) = delete;

  uint32_t at(int32_t x, int32_t y, int32_t c = 0) const {
    const size_t i = static_cast<size_t>(x) * view.channels + c;
    return view.wide() ? view.row<uint16_t>(y)[i] : view.row<uint8_t>(y)[i];
  }
  void set(int32_t x, int32_t y, int32_t c, uint32_t v) {
    const size_t i = static_cast<size_t>(x) * view.channels + c;
    if (view.wide()) {
      view.row<uint16_t>(y)[i] = static_cast<uint16_t>(v);
    } else {
      view.row<uint8_t>(y)[i] = static_cast<uint8_t>(v);
    }
  }
  // Pixel samples only: the padding at the end of each row is left out.
  bool samePixels(const Frame& other) const {
    for (int32_t y = 0; y < view.height; ++y) {
      for (int32_t x = 0; x < view.width; ++x) {
        for (int32_t c = 0; c < view.channels; ++c) {
          if (at(x, y, c) != other.at(x, y, c)) {
            return false;
          }
        }
      }
    }
    return true;
  }
};

// Random samples up to `max`, with a share of the extremes 0 and max where clamps bite.
inline void fillRandom(Frame& f, uint32_t max, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<uint32_t> value(0, max);
  std::uniform_int_distribution<int> pick(0, 9);
  for (int32_t y = 0; y < f.view.height; ++y) {
    for (int32_t x = 0; x < f.view.width; ++x) {
      for (int32_t c = 0; c < f.view.channels; ++c) {
        const int p = pick(rng);
        f.set(x, y, c, p == 0 ? 0 : p == 1 ? max : value(rng));
      }
    }
  }
}

// The frame sizes every fast kernel is checked on: tiny frames below every kernel's reach,
// widths that are no multiple of any vector width, and the full sensor.
struct Size {
  int32_t width, height;
};
inline const std::vector<Size>& checkedSizes() {
  static const std::vector<Size> sizes = {{1, 1},  {2, 2},  {3, 5},   {5, 3},
                                          {4, 4},  {5, 5},  {7, 9},   {19, 3},
                                          {24, 7}, {33, 6}, {67, 11}, {2048, 1536}};
  return sizes;
}

class FakeHost : public PipelineHost {
 public:
  bool mirrorsH = false, mirrorsV = false;
  int32_t gain = 10, gainMin = 0, gainMax = 100;
  int32_t exposure = 1000, exposureMin = 1, exposureMax = 20000;
  int32_t setGainCalls = 0, setExposureCalls = 0, maskCalls = 0, dotCalls = 0, refreshes = 0;
  int32_t lastDotThreshold = -1;

  bool engineMirrorsHorizontally() override { return mirrorsH; }
  bool engineMirrorsVertically() override { return mirrorsV; }
  int32_t currentGain() override { return gain; }
  int32_t gainMinimum() override { return gainMin; }
  int32_t gainMaximum() override { return gainMax; }
  void setAutoGain(int32_t g) override {
    gain = g;
    ++setGainCalls;
  }
  int32_t currentExposure() override { return exposure; }
  int32_t exposureMinimum() override { return exposureMin; }
  int32_t exposureMaximum() override { return exposureMax; }
  void setAutoExposure(int32_t e) override {
    exposure = e;
    ++setExposureCalls;
  }
  void applyMaskFilter(DibImage&) override { ++maskCalls; }
  void applyDotFilter(DibImage&, int32_t threshold) override {
    ++dotCalls;
    lastDotThreshold = threshold;
  }
  void processingValuesChanged() override { ++refreshes; }
};

}  // namespace nivexa::imaging::testing

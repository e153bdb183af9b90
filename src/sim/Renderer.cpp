#include "sim/Renderer.h"

#include <algorithm>
#include <cmath>

#include "sim/Scene.h"

namespace nivexa::sim {
namespace {

// Digital numbers per electron at unity gain, and the read noise.
constexpr double kConversionGain = 0.05;
constexpr double kReadNoiseDn = 1.2;

// Normal deviates scaled by 64, longer than a full frame so a frame never repeats its own noise.
constexpr size_t kNoiseTableSize = (size_t{1} << 22) + 1237;
constexpr int kNoiseShift = 14;  // 8 bits of sigma fraction + 6 bits of deviate fraction

const std::vector<int16_t>& noiseTable() {
  // Never destroyed: a capture thread may still render while the process exits.
  static const auto* table = new std::vector<int16_t>([] {
    std::vector<int16_t> t(kNoiseTableSize);
    uint64_t state = 0x2545F4914F6CDD1Dull;
    auto uniform = [&state] {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      return (static_cast<double>(state >> 11) + 0.5) / 9007199254740992.0;
    };
    for (size_t i = 0; i + 1 < t.size(); i += 2) {
      double r = std::sqrt(-2.0 * std::log(uniform()));
      double a = 6.283185307179586 * uniform();
      t[i] = static_cast<int16_t>(std::clamp(std::lround(64.0 * r * std::cos(a)), -511L, 511L));
      t[i + 1] = static_cast<int16_t>(std::clamp(std::lround(64.0 * r * std::sin(a)), -511L, 511L));
    }
    return t;
  }());
  return *table;
}

uint64_t mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

// The scene and the noise table are built here, by whoever makes the camera, rather than by the
// first render on the camera's background thread.
Renderer::Renderer(bool noise, uint32_t seed) : noise_(noise), seed_(seed) {
  Scene::instance();
  if (noise_) {
    noiseTable();
  }
}

bool Renderer::sameGeometry(const ImageSettings& a, const ImageSettings& b) {
  return a.readout == b.readout && a.arrayX == b.arrayX && a.arrayY == b.arrayY &&
         a.outWidth == b.outWidth && a.outHeight == b.outHeight && a.mirrorH == b.mirrorH &&
         a.mirrorV == b.mirrorV && a.width == b.width && a.height == b.height &&
         a.lineShift == b.lineShift && a.correctDefects == b.correctDefects && a.scene == b.scene;
}

void Renderer::sampleScene(const ImageSettings& s) {
  const Scene& scene = Scene::instance();
  const size_t pixels = static_cast<size_t>(s.width) * s.height;
  rate_.assign(pixels, 0.0);
  covered_.assign(pixels, 0);
  darkQuarters_.assign(pixels, 0);
  // One photosite: the light it collects per unit of exposure and gain, and whether it collects
  // dark signal at all (a dead one collects nothing).
  struct Site {
    double rate;
    int dark;
  };
  auto sample = [&](int ax, int ay) -> Site {
    Scene::Defect d = s.correctDefects ? Scene::kNone : scene.defect(ax, ay);
    if (d == Scene::kDead) {
      return {0.0, 0};
    }
    double rate = 0.0;
    switch (s.scene) {
      case Illumination::Pattern:
        rate = scene.rate(ax, ay);
        break;
      case Illumination::Flat:
        rate = scene.flatRate(ax, ay);
        break;
      case Illumination::Dark:
        break;
    }
    if (d == Scene::kHot) {
      rate += Scene::kHotRate;
    }
    return {rate, 1};
  };
  for (int py = 0; py < s.height; ++py) {
    if (py >= s.outHeight) {
      break;
    }
    int row = s.mirrorV ? s.outHeight - 1 - py : py;
    const size_t rowStart = static_cast<size_t>(py) * s.width;
    for (int px = 0; px < s.width; ++px) {
      int sx = px + s.lineShift;
      if (sx < 0 || sx >= s.outWidth) {
        continue;  // the FPGA pads what the sensor line does not cover
      }
      int col = s.mirrorH ? s.outWidth - 1 - sx : sx;
      double rate;
      int darkQuarters;
      if (s.readout == 1) {
        const Site a = sample(2 * col, 2 * row);
        const Site b = sample(2 * col + 1, 2 * row);
        const Site c = sample(2 * col, 2 * row + 1);
        const Site d = sample(2 * col + 1, 2 * row + 1);
        rate = 0.25 * (a.rate + b.rate + c.rate + d.rate);
        darkQuarters = a.dark + b.dark + c.dark + d.dark;
      } else {
        const Site one =
            s.readout == 17 ? sample(2 * col, 2 * row) : sample(s.arrayX + col, s.arrayY + row);
        rate = one.rate;
        darkQuarters = 4 * one.dark;
      }
      rate_[rowStart + px] = rate;
      covered_[rowStart + px] = 1;
      darkQuarters_[rowStart + px] = static_cast<uint8_t>(darkQuarters);
    }
  }
}

// Exposure, gain and black level only scale and lift the sampled scene: a host that changes them
// every frame gets its frames as fast as a host that changes nothing.
void Renderer::applyLevels(const ImageSettings& s) {
  const size_t pixels = rate_.size();
  light_.resize(pixels);
  const double* rate = rate_.data();
  const uint8_t* covered = covered_.data();
  float* light = light_.data();
  const double black = s.blackLevel;
  const double scale = s.signalScale;
  for (size_t i = 0; i < pixels; ++i) {
    light[i] = covered[i] != 0 ? static_cast<float>(black + rate[i] * scale) : 0.0f;
  }
  // Shot noise grows with the signal above black; read noise grows with the analog gain.
  for (int m = 0; m <= kFullScale; ++m) {
    double above = std::max(0, m - s.blackLevel);
    double variance = kConversionGain * s.gain * above +
                      kReadNoiseDn * kReadNoiseDn * std::max(1.0, s.gain * 0.25);
    sigmaQ8_[m] = static_cast<uint16_t>(std::min(65535.0, std::sqrt(variance) * 256.0));
  }
  // What the FPGA pads a short line with is an exact zero, not a pixel.
  sigmaQ8_[0] = 0;
}

// The dark signal follows the sensor temperature, which drifts for a minute after the cooler
// switches; redoing only this pass keeps the drift from stalling the frames that carry it.
void Renderer::applyDarkSignal(double darkDn) {
  const size_t pixels = light_.size();
  mean_.resize(pixels);
  sigma_.resize(pixels);
  const float darkQuarter = static_cast<float>(0.25 * darkDn);
  const float* light = light_.data();
  const uint8_t* quarters = darkQuarters_.data();
  uint16_t* mean = mean_.data();
  for (size_t i = 0; i < pixels; ++i) {
    // Never negative, so adding a half and truncating rounds to nearest.
    const float v = light[i] + darkQuarter * static_cast<float>(quarters[i]) + 0.5f;
    mean[i] = static_cast<uint16_t>(std::min(v, static_cast<float>(kFullScale)));
  }
  // Per-pixel sigma keeps the noise loop free of table look-ups, so it vectorises.
  for (size_t i = 0; i < pixels; ++i) {
    sigma_[i] = sigmaQ8_[mean[i]];
  }
}

void Renderer::render(const ImageSettings& s, uint64_t frame, std::span<uint8_t> payload,
                      const std::function<void()>& betweenStripes) {
  if (!valid_ || !(cached_ == s)) {
    const bool geometry = !valid_ || !sameGeometry(cached_, s);
    if (geometry) {
      sampleScene(s);
    }
    if (geometry || cached_.signalScale != s.signalScale || cached_.gain != s.gain ||
        cached_.blackLevel != s.blackLevel) {
      applyLevels(s);
    }
    applyDarkSignal(s.darkDn);
    cached_ = s;
    valid_ = true;
  }
  const size_t pixels = std::min(mean_.size(), payload.size() / (s.sixteenBit ? 2 : 1));
  const std::vector<int16_t>& table = noiseTable();
  const size_t noiseStart = mix(seed_ * 0x9E3779B97F4A7C15ull + frame) % table.size();
  for (size_t begin = 0; begin < pixels; begin += kStripePixels) {
    if (begin != 0 && betweenStripes) {
      betweenStripes();
    }
    const size_t end = std::min(pixels, begin + kStripePixels);
    if (noise_) {
      renderNoisy(s.sixteenBit, begin, end, (noiseStart + begin) % table.size(), payload);
    } else {
      renderNoiseless(s.sixteenBit, begin, end, payload);
    }
  }
}

void Renderer::renderNoiseless(bool sixteenBit, size_t begin, size_t end,
                               std::span<uint8_t> payload) const {
  const uint16_t* mean = mean_.data();
  uint8_t* out = payload.data();
  if (sixteenBit) {
    for (size_t i = begin; i < end; ++i) {
      out[2 * i] = static_cast<uint8_t>(mean[i]);
      out[2 * i + 1] = static_cast<uint8_t>(mean[i] >> 8);
    }
  } else {
    for (size_t i = begin; i < end; ++i) {
      out[i] = static_cast<uint8_t>(mean[i] >> 4);
    }
  }
}

void Renderer::renderNoisy(bool sixteenBit, size_t begin, size_t end, size_t offset,
                           std::span<uint8_t> payload) const {
  const std::vector<int16_t>& table = noiseTable();
  const uint16_t* mean = mean_.data();
  const uint16_t* sigma = sigma_.data();
  uint8_t* out = payload.data();
  constexpr int kRound = 1 << (kNoiseShift - 1);
  size_t i = begin;
  while (i < end) {
    const size_t run = std::min(end - i, table.size() - offset);
    const int16_t* z = table.data() + offset;
    const uint16_t* m = mean + i;
    const uint16_t* sg = sigma + i;
    if (sixteenBit) {
      uint8_t* o = out + 2 * i;
      for (size_t k = 0; k < run; ++k) {
        int v = m[k] + ((sg[k] * z[k] + kRound) >> kNoiseShift);
        v = std::clamp(v, 0, kFullScale);
        o[2 * k] = static_cast<uint8_t>(v);
        o[2 * k + 1] = static_cast<uint8_t>(v >> 8);
      }
    } else {
      uint8_t* o = out + i;
      for (size_t k = 0; k < run; ++k) {
        int v = m[k] + ((sg[k] * z[k] + kRound) >> kNoiseShift);
        o[k] = static_cast<uint8_t>(std::clamp(v, 0, kFullScale) >> 4);
      }
    }
    i += run;
    offset = 0;
  }
}

}  // namespace nivexa::sim

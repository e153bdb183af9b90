#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "sim/CameraOptions.h"

namespace nivexa::sim {

// Everything that decides the noiseless image of a frame. Two frames with equal settings differ
// only by their noise.
struct ImageSettings {
  // Sensor side.
  int readout = 0;  // 0 windowed, 1 binned, 17 subsampled
  int arrayX = 0;
  int arrayY = 0;
  int outWidth = 0;  // what the sensor sends
  int outHeight = 0;
  bool mirrorH = false;
  bool mirrorV = false;
  double signalScale = 0;  // exposure (us) x total gain: multiplies the scene rate
  double darkDn = 0;       // dark signal of a normal pixel over this exposure
  double gain = 1;         // total gain, for the noise
  int blackLevel = 0;
  // FPGA side.
  int width = 0;  // what the FPGA cuts and sends
  int height = 0;
  bool sixteenBit = false;
  int lineShift = 0;  // pixels the FPGA's line start is off from where the sensor line begins
  bool correctDefects = false;
  Illumination scene = Illumination::Pattern;

  bool operator==(const ImageSettings&) const = default;
  uint32_t payloadBytes() const {
    return static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * (sixteenBit ? 2 : 1);
  }
};

// Renders frames from a cached noiseless image (rebuilt only when the settings change) plus noise
// taken from a shared table of normal deviates at a per-frame offset, scaled per level.
class Renderer {
 public:
  static constexpr int kFullScale = 4095;  // samples carry 12 significant bits

  Renderer(bool noise, uint32_t seed);

  // Fills `payload` (settings.payloadBytes() long) with frame number `frame`. A frame is written
  // in stripes, with `betweenStripes` (when given) called between two of them: a renderer that
  // stands for hardware lets the host's threads in there rather than hold a core for a whole
  // frame.
  void render(const ImageSettings& settings, uint64_t frame, std::span<uint8_t> payload,
              const std::function<void()>& betweenStripes = {});
  // The noiseless 12-bit image of the last render, in payload order.
  const std::vector<uint16_t>& mean() const { return mean_; }

 private:
  // Three layers, each redone only when what it depends on changed: the scene as the window,
  // mirrors, line start and defect correction sample it; the levels of exposure, gain and black;
  // the dark signal of the temperature.
  static bool sameGeometry(const ImageSettings& a, const ImageSettings& b);
  void sampleScene(const ImageSettings& settings);
  void applyLevels(const ImageSettings& settings);
  void applyDarkSignal(double darkDn);
  // Pixels [begin, end) of the payload; `offset` is the noise table's entry for `begin`.
  void renderNoiseless(bool sixteenBit, size_t begin, size_t end, std::span<uint8_t> payload) const;
  void renderNoisy(bool sixteenBit, size_t begin, size_t end, size_t offset,
                   std::span<uint8_t> payload) const;

  // About a tenth of a millisecond of rendering on a current core.
  static constexpr size_t kStripePixels = size_t{1} << 17;

  bool noise_;
  uint32_t seed_;
  bool valid_ = false;
  ImageSettings cached_;
  std::vector<double> rate_;           // light collected per unit of exposure x gain, per pixel
  std::vector<uint8_t> covered_;       // 1 where a sensor pixel lies, 0 where the FPGA pads
  std::vector<uint8_t> darkQuarters_;  // quarters of a normal pixel's dark signal it carries
  std::vector<float> light_;           // black level plus collected light, per pixel
  std::vector<uint16_t> mean_;
  std::array<uint16_t, kFullScale + 1> sigmaQ8_{};  // noise sigma per mean level, 1/256 DN
  std::vector<uint16_t> sigma_;                     // the same per pixel
};

}  // namespace nivexa::sim

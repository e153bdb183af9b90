#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace nivexa::imaging {

// The processing values the camera object's setters validate and store, and that ProcessFrame
// reads once per frame. Plain 32-bit values shared without a lock: a setter racing with a frame
// affects that frame or the next. The values written back by the pipeline itself (automatic
// white balance, one-shot gray gain) use the same fields.
struct ProcessingParameters {
  std::atomic<int32_t> brightness{0};      // -255..255, 0 = off
  std::atomic<int32_t> contrast{0};        // -127..127, 0 = off
  std::atomic<int32_t> hue{0};             // -360..360
  std::atomic<int32_t> saturation{0};      // -255..255
  std::atomic<int32_t> sharpness{0};       // 0..30, 0 = off
  std::atomic<int32_t> bayerGainRed{100};  // percent, 0..400
  std::atomic<int32_t> bayerGainGreen{100};
  std::atomic<int32_t> bayerGainBlue{100};
  std::atomic<int32_t> bayerGainAuto{0};  // automatic white balance every frame
  // The image dialog's "Once" button: automatic balance for one frame, then all three cleared.
  std::atomic<int32_t> bayerGainSingleShot{0};
  std::atomic<int32_t> gamma{100};    // gamma x 100, 0..200, 100 = off
  std::atomic<int32_t> bayerMode{0};  // BayerPattern 0..3
  std::atomic<int32_t> grayMode{0};   // 0 off, 1 per-site gain and offset, 2 luminance
  // Indexed by GraySiteClass: R, G1, G2, B.
  std::array<std::atomic<int32_t>, 4> grayGain{128, 128, 128, 128};  // 128 = unity
  std::array<std::atomic<int32_t>, 4> grayOffset{0, 0, 0, 0};        // added; 0 = neutral
  std::atomic<int32_t> grayGainAutoOnce{0};                          // filter ID 28
  std::atomic<int32_t> dotFilter{0};
  std::atomic<int32_t> maskFilter{0};
  std::atomic<int32_t> mirrorH{0};
  std::atomic<int32_t> mirrorV{0};
  std::atomic<int32_t> autoIris{0};  // 0 off, 1 exposure, 2 gain
};

enum GraySite : int { kGrayR = 0, kGrayG1 = 1, kGrayG2 = 2, kGrayB = 3 };

}  // namespace nivexa::imaging

// The renderer's cached image follows its settings: a drifting dark signal, and a new exposure,
// gain or black level, take cheaper paths than a new window, and all must give the picture a
// fresh renderer would.

#include "sim/Renderer.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/Scene.h"

namespace nivexa::sim {
namespace {

// A binned readout, so that output pixels built from a dead photosite carry less dark signal.
ImageSettings binnedSettings(double darkDn) {
  ImageSettings s;
  s.readout = 1;
  s.outWidth = 1024;
  s.outHeight = 768;
  s.signalScale = 150;
  s.darkDn = darkDn;
  s.gain = 2;
  s.blackLevel = 60;
  s.width = 1024;
  s.height = 768;
  s.sixteenBit = true;
  return s;
}

std::vector<uint8_t> render(Renderer& renderer, const ImageSettings& s, uint64_t frame) {
  std::vector<uint8_t> payload(s.payloadBytes());
  renderer.render(s, frame, payload);
  return payload;
}

TEST(Renderer, EachKindOfChangeGivesThePictureAFreshRenderWould) {
  Renderer drifting(true, 7);
  const auto cool = render(drifting, binnedSettings(20), 1);
  const std::vector<uint16_t> coolMean = drifting.mean();
  const auto warm = render(drifting, binnedSettings(100), 2);
  EXPECT_NE(warm, cool);

  Renderer fresh(true, 7);
  EXPECT_EQ(render(fresh, binnedSettings(100), 2), warm) << "noise and levels alike";
  EXPECT_EQ(fresh.mean(), drifting.mean());

  // Each output pixel rises by the dark signal of the photosites it was binned from that work.
  const Scene& scene = Scene::instance();
  int checked = 0;
  for (int y = 0; y < 768; y += 3) {
    for (int x = 0; x < 1024; x += 5) {
      int working = 0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          working += scene.defect(2 * x + dx, 2 * y + dy) == Scene::kDead ? 0 : 1;
        }
      }
      const size_t i = static_cast<size_t>(y) * 1024 + x;
      if (drifting.mean()[i] >= Renderer::kFullScale) {
        continue;
      }
      EXPECT_NEAR(drifting.mean()[i] - coolMean[i], 80.0 * working / 4, 1.0) << x << "," << y;
      ++checked;
    }
  }
  EXPECT_GT(checked, 40000);

  // Back to a setting that changes more than the dark signal: a full rebuild, same result.
  ImageSettings mirrored = binnedSettings(100);
  mirrored.mirrorH = true;
  Renderer freshMirrored(true, 7);
  EXPECT_EQ(render(drifting, mirrored, 3), render(freshMirrored, mirrored, 3));

  // Levels changed one at a time and together, then the line start moved (some pixels become
  // padding, which no black level lifts): each from the same renderer as from a fresh one.
  std::vector<ImageSettings> steps;
  ImageSettings step = mirrored;
  step.signalScale = 40;
  steps.push_back(step);
  step.gain = 8;
  steps.push_back(step);
  step.blackLevel = 200;
  steps.push_back(step);
  step.signalScale = 300;
  step.gain = 1;
  step.blackLevel = 0;
  steps.push_back(step);
  step.lineShift = 16;
  step.blackLevel = 120;
  steps.push_back(step);
  uint64_t frame = 4;
  for (const ImageSettings& next : steps) {
    SCOPED_TRACE(testing::Message()
                 << "scale " << next.signalScale << ", gain " << next.gain << ", black "
                 << next.blackLevel << ", shift " << next.lineShift);
    Renderer freshStep(true, 7);
    const auto changed = render(drifting, next, frame);
    EXPECT_EQ(changed, render(freshStep, next, frame));
    EXPECT_EQ(drifting.mean(), freshStep.mean());
    ++frame;
  }
  const size_t lastPixel = 1023;  // the right edge, padded once the line starts 16 pixels later
  EXPECT_EQ(drifting.mean()[lastPixel], 0);
  EXPECT_GE(drifting.mean()[lastPixel - 16], 120);
}

// A frame is written in stripes, giving way between them. Each stripe must carry its own part of
// the frame's noise: one that restarted the noise would repeat the first stripe's down the frame.
TEST(Renderer, AFrameWrittenInStripesGivesWayBetweenThemAndRepeatsNoNoise) {
  const ImageSettings s = binnedSettings(20);
  Renderer renderer(true, 7);
  std::vector<uint8_t> payload(s.payloadBytes());
  int pauses = 0;
  renderer.render(s, 3, payload, [&pauses] { ++pauses; });
  const size_t pixels = payload.size() / 2;
  constexpr size_t kStripe = size_t{1} << 17;
  EXPECT_EQ(static_cast<size_t>(pauses), (pixels + kStripe - 1) / kStripe - 1);

  const std::vector<uint16_t>& mean = renderer.mean();
  const auto residual = [&](size_t i) {
    return (payload[2 * i] | (payload[2 * i + 1] << 8)) - int{mean[i]};
  };
  size_t same = 0;
  size_t noisy = 0;
  for (size_t i = 0; i < kStripe; ++i) {
    noisy += residual(i) != 0 ? 1 : 0;
    same += residual(i) == residual(i + kStripe) ? 1 : 0;
  }
  EXPECT_GT(noisy, kStripe / 2);
  EXPECT_LT(same, kStripe / 2);
}

}  // namespace
}  // namespace nivexa::sim

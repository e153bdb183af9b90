#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "PipelineTestSupport.h"
#include "imaging/ProcessFrame.h"

namespace nivexa::imaging {
namespace {

struct Camera {
  ColorMode mode;
  int32_t hue, saturation, gamma;
};

std::vector<uint8_t> runFrames(const Camera& c, int frames) {
  FrameBitmaps b;
  EXPECT_EQ(createFrameBitmaps(b, c.mode, 64, 48), 1);
  ProcessingParameters p;
  p.hue = c.hue;
  p.saturation = c.saturation;
  p.gamma = c.gamma;
  testing::FakeHost host;
  std::vector<uint8_t> last;
  for (int i = 0; i < frames; ++i) {
    DibImage& raw = b.rawFor(c.mode);
    for (size_t k = 0; k < static_cast<size_t>(64 * 48 * raw.bytesPerPixel()); ++k) {
      raw.bits()[k] = static_cast<uint8_t>(k * 31 + k / 64);
    }
    processFrame(c.mode, b, p, host);
    const auto px = b.outputFor(c.mode).pixels();
    last.assign(px.begin(), px.end());
  }
  return last;
}

// Two cameras with different saturations (and so different colour tables) process at once;
// each gets exactly what it gets alone.
TEST(TwoCameras, ProcessAtOnceWithDifferentHueAndSaturation) {
  const Camera a{ColorMode::Bgr24, 30, 200, 80};
  const Camera b{ColorMode::Bgr64, -90, -150, 130};
  const auto aloneA = runFrames(a, 1);
  const auto aloneB = runFrames(b, 1);
  std::vector<uint8_t> togetherA;
  std::vector<uint8_t> togetherB;
  std::thread ta([&] { togetherA = runFrames(a, 20); });
  std::thread tb([&] { togetherB = runFrames(b, 20); });
  ta.join();
  tb.join();
  EXPECT_EQ(togetherA, aloneA);
  EXPECT_EQ(togetherB, aloneB);
}

}  // namespace
}  // namespace nivexa::imaging

#include "imaging/ProcessFrame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "PipelineTestSupport.h"
#include "imaging/steps/Demosaic.h"
#include "imaging/steps/Mirror.h"

namespace nivexa::imaging {
namespace {

using testing::FakeHost;

// Writes a frame into the raw bitmap the way the engine does: rows packed, not at the stride.
std::vector<uint8_t> deliver(FrameBitmaps& b, ColorMode mode, uint32_t seed, uint32_t max) {
  DibImage& raw = b.rawFor(mode);
  const size_t samples = static_cast<size_t>(raw.width()) * raw.height();
  std::vector<uint8_t> packed(samples * raw.bytesPerPixel());
  std::mt19937 rng(seed);
  std::uniform_int_distribution<uint32_t> value(0, max);
  for (size_t i = 0; i < samples; ++i) {
    const uint32_t v = value(rng);
    packed[i * raw.bytesPerPixel()] = static_cast<uint8_t>(v);
    if (raw.bytesPerPixel() == 2) {
      packed[i * 2 + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
  std::memcpy(raw.bits(), packed.data(), packed.size());
  return packed;
}

steps::ImageView rawView(FrameBitmaps& b, ColorMode mode) {
  return steps::viewOf(b.rawFor(mode));
}

const ColorMode kModes[] = {ColorMode::Mono8, ColorMode::Mono16, ColorMode::Bgr24,
                            ColorMode::Bgr32, ColorMode::Bgr48,  ColorMode::Bgr64};

TEST(ProcessFrame, OffValuesLeaveTheDemosaicResultUntouched) {
  for (ColorMode mode : kModes) {
    FrameBitmaps b;
    ASSERT_EQ(createFrameBitmaps(b, mode, 13, 7), 1);
    const auto packed = deliver(b, mode, 1, colorModeBits(mode) % 16 == 0 ? 65535 : 255);
    ProcessingParameters p;
    FakeHost host;
    processFrame(mode, b, p, host);
    DibImage& raw = b.rawFor(mode);
    const size_t rowBytes = static_cast<size_t>(raw.width()) * raw.bytesPerPixel();
    for (int32_t y = 0; y < raw.height(); ++y) {
      ASSERT_EQ(std::memcmp(raw.row(y), packed.data() + y * rowBytes, rowBytes), 0)
          << "the raw frame is only re-spaced";
    }
    if (mode != ColorMode::Mono8 && mode != ColorMode::Mono16) {
      FrameBitmaps expected;
      ASSERT_EQ(createFrameBitmaps(expected, mode, 13, 7), 1);
      steps::demosaicReference(rawView(b, mode), steps::viewOf(expected.outputFor(mode)), 0, 100,
                               100);
      const auto got = b.outputFor(mode).pixels();
      const auto want = expected.outputFor(mode).pixels();
      ASSERT_TRUE(std::equal(got.begin(), got.end(), want.begin())) << colorModeBits(mode);
    }
    EXPECT_EQ(host.maskCalls + host.dotCalls + host.setGainCalls + host.refreshes, 0);
  }
}

TEST(ProcessFrame, MaskAndDotFiltersGoThroughTheHostWithTheDepthsThreshold) {
  for (ColorMode mode : {ColorMode::Mono8, ColorMode::Bgr48}) {
    FrameBitmaps b;
    ASSERT_EQ(createFrameBitmaps(b, mode, 8, 8), 1);
    ProcessingParameters p;
    p.maskFilter = 1;
    p.dotFilter = 1;
    FakeHost host;
    processFrame(mode, b, p, host);
    EXPECT_EQ(host.maskCalls, 1);
    EXPECT_EQ(host.dotCalls, 1);
    EXPECT_EQ(host.lastDotThreshold, mode == ColorMode::Mono8 ? 30 : 480);
  }
}

TEST(ProcessFrame, OneShotGrayGainIsStoredAppliedAndCleared) {
  FrameBitmaps b;
  ASSERT_EQ(createFrameBitmaps(b, ColorMode::Mono8, 2, 2), 1);
  const uint8_t frame[4] = {100, 50, 200, 25};  // pattern 0: G1 R / B G2
  std::memcpy(b.raw8.bits(), frame, 4);         // packed, as the engine writes it
  ProcessingParameters p;
  p.grayMode = 1;
  p.grayGainAutoOnce = 1;
  FakeHost host;
  processFrame(ColorMode::Mono8, b, p, host);
  EXPECT_EQ(p.grayGainAutoOnce, 0);
  EXPECT_EQ(p.grayGain[kGrayR], 256);
  EXPECT_EQ(p.grayGain[kGrayB], 64);
  EXPECT_EQ(p.grayGain[kGrayG2], 512);
  EXPECT_EQ(host.refreshes, 1);
  // Every site now matches G1.
  EXPECT_EQ(b.raw8.row(0)[0], 100);
  EXPECT_EQ(b.raw8.row(0)[1], 100);
  EXPECT_EQ(b.raw8.row(1)[0], 100);
  EXPECT_EQ(b.raw8.row(1)[1], 100);
}

TEST(ProcessFrame, WhiteBalanceOnceClearsItsFlagsContinuousKeepsThem) {
  for (int32_t once : {0, 1}) {
    FrameBitmaps b;
    ASSERT_EQ(createFrameBitmaps(b, ColorMode::Bgr24, 16, 16), 1);
    deliver(b, ColorMode::Bgr24, 2, 255);
    ProcessingParameters p;
    p.bayerGainAuto = 1;
    p.bayerGainSingleShot = once;
    p.bayerGainRed = 5;
    FakeHost host;
    processFrame(ColorMode::Bgr24, b, p, host);
    EXPECT_NE(p.bayerGainRed, 5);
    EXPECT_LE(p.bayerGainRed, 400);
    EXPECT_EQ(host.refreshes, 1);
    EXPECT_EQ(p.bayerGainAuto, once ? 0 : 1);
    EXPECT_EQ(p.bayerGainSingleShot, 0);
  }
}

TEST(ProcessFrame, MirrorFlagsTurnThePatternWhoeverMirrors) {
  for (bool hardware : {false, true}) {
    FrameBitmaps b;
    ASSERT_EQ(createFrameBitmaps(b, ColorMode::Bgr24, 9, 6), 1);
    deliver(b, ColorMode::Bgr24, 3, 255);
    ProcessingParameters p;
    p.mirrorV = 1;
    FakeHost host;
    host.mirrorsV = hardware;
    // What the pipeline should see: the raw frame, turned over unless the engine did it.
    FrameBitmaps expected;
    ASSERT_EQ(createFrameBitmaps(expected, ColorMode::Bgr24, 9, 6), 1);
    std::memcpy(expected.raw8.bits(), b.raw8.bits(), 9 * 6);
    DibImage& raw = expected.raw8;
    const auto view = steps::viewOf(raw);
    for (int32_t y = 5; y > 0; --y) {
      std::memmove(raw.row(y), raw.bits() + y * 9, 9);
    }
    steps::mirrorReference(view, false, !hardware);
    steps::demosaicReference(view, steps::viewOf(expected.bgr24), 1, 100, 100);
    processFrame(ColorMode::Bgr24, b, p, host);
    const auto got = b.bgr24.pixels();
    const auto want = expected.bgr24.pixels();
    EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin())) << hardware;
  }
}

TEST(ProcessFrame, AutoGainRunsOnTheRawFrame) {
  FrameBitmaps b;
  ASSERT_EQ(createFrameBitmaps(b, ColorMode::Mono16, 40, 30), 1);  // all black
  ProcessingParameters p;
  p.autoIris = 2;
  FakeHost host;
  host.gain = 20;
  processFrame(ColorMode::Mono16, b, p, host);
  EXPECT_EQ(host.gain, 30);
}

// The fast pipeline (fused tables, in-place mirror, row kernels) gives the reference's bytes
// for every mode with every step switched on, on tiny, odd and full-size frames.
TEST(ProcessFrame, FastPipelineMatchesTheReferenceWithEveryStepOn) {
  struct Setup {
    int32_t gray, hue, saturation, gamma, contrast, sharpness, brightness;
    bool mirrorH, mirrorV;
  };
  const Setup setups[] = {
      {1, 0, 0, 60, 20, 12, -40, true, false},
      {2, 45, -80, 140, -30, 30, 90, false, true},
      {1, -200, 120, 100, 0, 5, 0, true, true},
      {0, 0, 0, 100, 0, 0, 200, false, false},
      // No mirror: monochrome frames run the value steps and the sharpness band by band.
      {1, 0, 0, 70, 20, 10, 30, false, false},
      {0, 0, 0, 100, 0, 25, -60, false, false},
  };
  // Heights that end in a partial band, and one band plus a row.
  std::vector<testing::Size> sizes = testing::checkedSizes();
  sizes.push_back({45, 70});
  sizes.push_back({40, 33});
  for (ColorMode mode : kModes) {
    for (const auto& size : sizes) {
      for (const Setup& s : setups) {
        if (size.width > 100 && &s != &setups[0] && &s != &setups[4]) {
          continue;
        }
        FrameBitmaps fast;
        FrameBitmaps ref;
        ASSERT_EQ(createFrameBitmaps(fast, mode, size.width, size.height), 1);
        ASSERT_EQ(createFrameBitmaps(ref, mode, size.width, size.height), 1);
        const uint32_t max = colorModeBits(mode) % 16 == 0 ? 4095 : 255;
        deliver(fast, mode, 17, max);
        deliver(ref, mode, 17, max);
        ProcessingParameters pf;
        ProcessingParameters pr;
        for (ProcessingParameters* p : {&pf, &pr}) {
          p->grayMode = s.gray;
          p->bayerMode = 2;
          p->grayGain[kGrayR] = 150;
          p->grayOffset[kGrayB] = -20;
          p->bayerGainRed = 130;
          p->bayerGainBlue = 70;
          p->bayerGainAuto = s.gray == 2 ? 1 : 0;
          p->hue = s.hue;
          p->saturation = s.saturation;
          p->gamma = s.gamma;
          p->contrast = s.contrast;
          p->sharpness = s.sharpness;
          p->brightness = s.brightness;
          p->mirrorH = s.mirrorH;
          p->mirrorV = s.mirrorV;
        }
        FakeHost hf;
        FakeHost hr;
        processFrame(mode, fast, pf, hf);
        processFrameReference(mode, ref, pr, hr);
        const auto got = fast.outputFor(mode).pixels();
        const auto want = ref.outputFor(mode).pixels();
        ASSERT_TRUE(std::equal(got.begin(), got.end(), want.begin()))
            << colorModeBits(mode) << " bits " << size.width << "x" << size.height << " setup "
            << (&s - setups);
        EXPECT_EQ(pf.bayerGainRed, pr.bayerGainRed);
      }
    }
  }
}

}  // namespace
}  // namespace nivexa::imaging

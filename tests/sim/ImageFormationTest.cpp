// Frames of the virtual camera follow what the registers ask for: size, depth, orientation,
// brightness, defects.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sim/CameraOptions.h"
#include "sim/FrameTestSupport.h"
#include "sim/Scene.h"

namespace nivexa::sim {
namespace {

using namespace testing;

double signalAboveBlack(const Image& im, int black) {
  return im.mean() - black;
}

void setBlackLevel(Rig& rig, int level) {
  rig.sensorWrite(0x7C0, static_cast<uint8_t>(level & 0xFF));
  rig.sensorWrite(0x7C1, static_cast<uint8_t>((level >> 8) & 0x0F));
}

TEST(ImageFormation, WindowAndDepthDecideFrameSize) {
  Rig rig;
  setWindow(rig, 0, 0, 1024, 768);
  setDepth16(rig, true);
  auto f = rig.frame();
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(transport::testing::get32(f.header, 16), 1024u * 768u * 2u);
  Image im = decode(f);
  EXPECT_EQ(im.width, 1024);
  EXPECT_EQ(im.height, 768);
  EXPECT_EQ(im.bits, 16);
  EXPECT_LE(*std::max_element(im.pixels.begin(), im.pixels.end()), 4095);

  setDepth16(rig, false);
  f = rig.frame();
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.payload.size(), 1024u * 768u);
}

TEST(ImageFormation, EightBitSamplesAreTheTopOfTwelve) {
  Rig rig(quietOptions());
  setWindow(rig, 512, 256, 512, 256);
  setDepth16(rig, true);
  Image wide = decode(rig.frame());
  setDepth16(rig, false);
  Image narrow = decode(rig.frame());
  ASSERT_EQ(wide.pixels.size(), narrow.pixels.size());
  for (size_t i = 0; i < wide.pixels.size(); ++i) {
    ASSERT_EQ(narrow.pixels[i], wide.pixels[i] >> 4) << i;
  }
}

TEST(ImageFormation, SignalFollowsExposureGainAndBlackLevel) {
  Rig rig;  // with noise
  setWindow(rig, 0, 0, 1024, 768);
  setDepth16(rig, true);
  setLineLength(rig, 978);
  setBlackLevel(rig, 240);
  setExposure(rig, 1628, 1628 - 766);  // about 10 ms at 13.04 us per line
  double tenMs = signalAboveBlack(decode(rig.frame()), 240);
  setExposure(rig, 1628, 1628 - 1532);  // about 20 ms
  double twentyMs = signalAboveBlack(decode(rig.frame()), 240);
  EXPECT_GT(tenMs, 200.0);
  EXPECT_NEAR(twentyMs / tenMs, 2.0, 0.03);

  rig.sensorWrite(0x714, 60);  // 6 dB
  double gained = signalAboveBlack(decode(rig.frame()), 240);
  EXPECT_NEAR(gained / twentyMs, 1.995, 0.04);
  rig.sensorWrite(0x714, 0);
  rig.sensorWrite(0x710, 1);  // high conversion gain
  double highGain = signalAboveBlack(decode(rig.frame()), 240);
  EXPECT_GT(highGain / twentyMs, 1.5);
  rig.sensorWrite(0x710, 0);

  setBlackLevel(rig, 400);
  double moved = decode(rig.frame()).mean() - 400;
  EXPECT_NEAR(moved, twentyMs, twentyMs * 0.02);
}

TEST(ImageFormation, MirrorsReverseLinesAndColumns) {
  Rig rig(quietOptions());
  setWindow(rig, 0, 0, 2048, 1536);
  Image plain = decode(rig.frame());
  rig.sensorWrite(0x404, 2);  // horizontal
  rig.fpgaWrite(76, 16);
  Image h = decode(rig.frame());
  rig.sensorWrite(0x404, 1);  // vertical
  rig.fpgaWrite(76, 112);
  Image v = decode(rig.frame());
  int w = plain.width;
  int ht = plain.height;
  for (int y = 0; y < ht; y += 97) {
    for (int x = 0; x < w; x += 13) {
      ASSERT_EQ(h.at(x, y), plain.at(w - 1 - x, y));
      ASSERT_EQ(v.at(x, y), plain.at(x, ht - 1 - y));
    }
  }
  // The bright square sits near the top-left corner of the unmirrored picture.
  EXPECT_GT(plain.at(200, 200), plain.at(w - 200, 200));
  EXPECT_GT(plain.at(200, 200), plain.at(200, ht - 200));

  // A line start that does not match the mirror moves the picture sideways.
  rig.sensorWrite(0x404, 2);
  rig.fpgaWrite(76, 112);
  Image shifted = decode(rig.frame());
  EXPECT_EQ(shifted.at(100, 500), h.at(100 + 96, 500));
  EXPECT_EQ(shifted.at(w - 1, 500), 0);
}

TEST(ImageFormation, WindowReadsTheRequestedRegion) {
  Rig rig(quietOptions());
  Image full = decode(rig.frame());
  setWindow(rig, 64, 32, 256, 128);
  Image part = decode(rig.frame());
  ASSERT_EQ(part.width, 256);
  for (int y = 0; y < 128; y += 7) {
    for (int x = 0; x < 256; x += 5) {
      ASSERT_EQ(part.at(x, y), full.at(64 + x, 32 + y));
    }
  }
  // Without the crop bits the chip reads the whole width, whatever the window registers say.
  rig.sensorWrite(0x304, 2);
  Image uncropped = decode(rig.frame());
  EXPECT_EQ(uncropped.at(10, 5), full.at(10, 32 + 5));
}

TEST(ImageFormation, HalfReadoutsGiveHalfWidthAndHeight) {
  Rig rig(quietOptions());
  Image full = decode(rig.frame());
  rig.sensorWrite(0x23C, 17);
  setWindow(rig, 0, 4, 2048, 1536);
  rig.fpgaWrite(68, 0x00);
  rig.fpgaWrite(69, 0x04);
  rig.fpgaWrite(64, 0x00);
  rig.fpgaWrite(65, 0x03);
  rig.fpgaWrite(76, 52);
  Image binned = decode(rig.frame());
  ASSERT_EQ(binned.width, 1024);
  ASSERT_EQ(binned.height, 768);
  // Two by two averaging, away from defects: compare a smooth area.
  int sum = full.at(1600, 1200) + full.at(1601, 1200) + full.at(1600, 1201) + full.at(1601, 1201);
  EXPECT_NEAR(binned.at(800, 600), sum / 4.0, 2.0);

  // The subsampling readout keeps every other pixel of every other line.
  rig.sensorWrite(0x23C, 0);
  rig.sensorWrite(0x400, 172);
  Image subsampled = decode(rig.frame());
  ASSERT_EQ(subsampled.width, 1024);
  for (int y = 0; y < 768; y += 31) {
    for (int x = 0; x < 1024; x += 17) {
      ASSERT_EQ(subsampled.at(x, y), full.at(2 * x, 2 * y));
    }
  }
}

TEST(ImageFormation, FpgaCutLargerThanTheSensorLinePadsWithZero) {
  Rig rig(quietOptions());
  setWindow(rig, 0, 0, 1024, 768);
  rig.fpgaWrite(68, 0x00);  // FPGA back at 2048 x 1536
  rig.fpgaWrite(69, 0x08);
  rig.fpgaWrite(64, 0x00);
  rig.fpgaWrite(65, 0x06);
  Image im = decode(rig.frame());
  ASSERT_EQ(im.width, 2048);
  EXPECT_GT(im.at(100, 100), 0);
  EXPECT_EQ(im.at(1500, 100), 0);
  EXPECT_EQ(im.at(100, 1000), 0);

  // Nonsense sizes are cut at what the frame store holds.
  for (uint8_t reg : {64, 65, 68, 69}) {
    rig.fpgaWrite(reg, 0xFF);
  }
  auto f = rig.frame();
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(decode(f).width, 4096);
  EXPECT_EQ(decode(f).height, 4096);
}

TEST(ImageFormation, DefectivePixelsAndTheirCorrection) {
  Rig rig(quietOptions());
  setDepth16(rig, true);
  setBlackLevel(rig, 240);
  setExposure(rig, 3200, 200);  // about 20 ms at 6.5 us per line
  Image raw = decode(rig.frame());
  rig.fpgaWrite(209, 1);  // internal correction on
  Image corrected = decode(rig.frame());
  int hot = 0;
  int dead = 0;
  int other = 0;
  for (size_t i = 0; i < raw.pixels.size(); ++i) {
    int r = raw.pixels[i];
    int c = corrected.pixels[i];
    if (r > c + 500) {
      ++hot;
    } else if (r == 240 && c > 260) {
      ++dead;  // no response: black level only
    } else if (r != c) {
      ++other;
    }
  }
  // Hundreds of each, fixed, and nothing else touched by the correction.
  EXPECT_GT(hot, 300);
  EXPECT_GT(dead, 150);
  EXPECT_EQ(other, 0);
  rig.fpgaWrite(209, 0);
  EXPECT_EQ(decode(rig.frame()).pixels, raw.pixels);
}

// The scenes a person takes references from: a flat-field panel keeps the lens's vignetting and
// the sensor's defects; a capped lens shows black level, dark signal and hot pixels only.
TEST(ImageFormation, FlatAndDarkScenesForTakingReferences) {
  CameraOptions o = quietOptions();
  o.scene = Illumination::Dark;
  Rig rig(o);
  setDepth16(rig, true);
  setBlackLevel(rig, 100);
  setExposure(rig, 3200, 200);
  const Scene& scene = Scene::instance();
  Image dark = decode(rig.frame());
  // Capped: every normal pixel shows the same black level plus dark signal; hot pixels stand out.
  const int level = dark.at(1024, 768);
  EXPECT_GT(level, 100);
  int hot = 0;
  for (int y = 0; y < dark.height; ++y) {
    for (int x = 0; x < dark.width; ++x) {
      if (scene.defect(x, y) == Scene::kHot) {
        hot += dark.at(x, y) > level + 200 ? 1 : 0;
      } else if (scene.defect(x, y) == Scene::kNone) {
        ASSERT_EQ(dark.at(x, y), level) << x << "," << y;
      }
    }
  }
  EXPECT_EQ(hot, Scene::kHotPixels);

  rig.camera->setScene(Illumination::Flat);
  Image flat = decode(rig.frame());
  // Away from defects, the signal above the dark frame follows the vignetting alone: the
  // pattern's bright square (around 200, 200) is not there.
  auto signal = [&](int x, int y) { return double(flat.at(x, y)) - dark.at(x, y); };
  const double centre = signal(1024, 768);
  EXPECT_GT(centre, 500.0);
  for (auto [x, y] : {std::pair{10, 10}, {200, 200}, {2000, 1500}, {1500, 300}}) {
    ASSERT_EQ(scene.defect(x, y), Scene::kNone);
    EXPECT_NEAR(signal(x, y) / centre, scene.vignetting(x, y) / scene.vignetting(1024, 768), 0.005)
        << x << "," << y;
  }

  rig.camera->setScene(Illumination::Pattern);
  EXPECT_GT(decode(rig.frame()).at(200, 200), flat.at(200, 200) + 100);
}

TEST(ImageFormation, DarkSignalDoublesEverySixDegrees) {
  auto darkMean = [](double ambient) {
    CameraOptions o = quietOptions();
    o.ambientC = ambient;
    Rig rig(o);
    setDepth16(rig, true);
    setExposure(rig, 3200, 200);
    return decode(rig.frame()).mean();
  };
  double at25 = darkMean(25);
  double at31 = darkMean(31);
  double at37 = darkMean(37);
  ASSERT_GT(at31, at25);
  EXPECT_NEAR((at37 - at25) / (at31 - at25), 3.0, 0.1);
}

TEST(ImageFormation, NoiseIsSeededAndChangesFromFrameToFrame) {
  CameraOptions o = Rig::fastOptions();
  Rig a(o);
  Rig b(o);
  setWindow(a, 0, 0, 256, 64);
  setWindow(b, 0, 0, 256, 64);
  Image a1 = decode(a.frame());
  Image b1 = decode(b.frame());
  Image a2 = decode(a.frame());
  EXPECT_EQ(a1.pixels, b1.pixels);
  EXPECT_NE(a1.pixels, a2.pixels);
  o.seed = 2;
  Rig c(o);
  setWindow(c, 0, 0, 256, 64);
  EXPECT_NE(decode(c.frame()).pixels, a1.pixels);
}

TEST(ImageFormation, ShotNoiseGrowsWithTheSignal) {
  Rig rig;
  setDepth16(rig, true);
  setExposure(rig, 3200, 200);
  Image a = decode(rig.frame());
  Image b = decode(rig.frame());
  auto spread = [&](int x0, int y0) {
    double sum = 0;
    double sum2 = 0;
    int n = 0;
    for (int y = y0; y < y0 + 64; ++y) {
      for (int x = x0; x < x0 + 64; ++x) {
        double d = static_cast<double>(a.at(x, y)) - b.at(x, y);
        sum += d;
        sum2 += d * d;
        ++n;
      }
    }
    return std::sqrt(sum2 / n - (sum / n) * (sum / n));
  };
  double inBrightSquare = spread(150, 150);
  double inDarkPatch = spread(2048 / 8 + 20, 1536 / 2);
  EXPECT_GT(inDarkPatch, 1.0);
  EXPECT_GT(inBrightSquare, 1.5 * inDarkPatch);
}

TEST(ImageFormation, StandbyStopsTheFrames) {
  Rig rig;
  rig.sensorWrite(0x200, 1);
  auto f = rig.frame(100);
  EXPECT_FALSE(f.ok);
  rig.sensorWrite(0x200, 0);
  EXPECT_TRUE(rig.frame().ok);
}

}  // namespace
}  // namespace nivexa::sim

namespace nivexa::sim {
namespace {

TEST(CameraOptionsScene, NamedScenesParseAndOthersFail) {
  std::string error;
  EXPECT_EQ(parseCameraOptions("scene=flat", error)->scene, Illumination::Flat);
  EXPECT_EQ(parseCameraOptions("scene=dark,pacing=fast", error)->scene, Illumination::Dark);
  EXPECT_EQ(parseCameraOptions("serial=VC0009", error)->scene, Illumination::Pattern);
  EXPECT_FALSE(parseCameraOptions("scene=foggy", error));
  EXPECT_NE(error.find("scene"), std::string::npos) << error;
}

}  // namespace
}  // namespace nivexa::sim

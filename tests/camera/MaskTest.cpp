// Flat-field and defect correction through the exports: references taken from the virtual
// camera's capped-lens and flat-panel scenes, mask files saved and loaded.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "camera/CameraTestSupport.h"
#include "camera/ConfigFile.h"
#include "sim/Camera.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace nivexa::camera::test {
namespace {

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

class MaskTest : public CameraTest {
 protected:
  // The sensor settles at its cooled temperature at once, so the dark signal is the same in
  // every frame and the references match the frames they correct.
  void SetUp() override {
    sim::CameraOptions options = fastCamera();
    options.thermalScale = 1e6;
    camera_ = sim::createCamera(options);
    h_ = Nivexa_Initialize(notify_);
    ASSERT_NE(h_, 0);
    ASSERT_EQ(drainErrors(h_), std::vector<LONG>{});
    notify_.take();
  }
  void TearDown() override {
    for (const auto& path : paths_) {
      std::remove(path.c_str());
    }
    CameraTest::TearDown();
  }
  std::string path(const char* name) {
    paths_.push_back(::testing::TempDir() + "nivexa-mask-" + name);
    return paths_.back();
  }

  // One full frame at the current depth, top row first, as samples.
  std::vector<int32_t> snapshot(int bits) {
    const size_t bytes = kFullFrame8 * (bits / 8);
    std::vector<uint8_t> frame(bytes);
    EXPECT_EQ(Nivexa_SnapShot(h_, frame.data(), static_cast<LONG>(bytes), 1), 1);
    std::vector<int32_t> samples(kFullFrame8);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] = bits == 8 ? frame[i] : (frame[2 * i] | frame[2 * i + 1] << 8);
    }
    return samples;
  }

  std::vector<std::string> paths_;
};

struct Spread {
  int32_t min;
  int32_t max;
  int outliers;  // pixels far from both horizontal neighbours
};

// One grey patch of the test pattern, away from its edges.
Spread patchSpread(const std::vector<int32_t>& f, int32_t outlierStep) {
  // The second grey patch from the left, where the vignetting changes most across one patch.
  Spread s{INT32_MAX, INT32_MIN, 0};
  for (int32_t y = 600; y < 940; ++y) {
    for (int32_t x = 530; x < 750; ++x) {
      const int32_t v = f[static_cast<size_t>(y) * kFullWidth + x];
      const int32_t l = f[static_cast<size_t>(y) * kFullWidth + x - 1];
      const int32_t r = f[static_cast<size_t>(y) * kFullWidth + x + 1];
      if (std::abs(v - l) > outlierStep && std::abs(v - r) > outlierStep) {
        ++s.outliers;
        continue;
      }
      s.min = std::min(s.min, v);
      s.max = std::max(s.max, v);
    }
  }
  return s;
}

// References taken in front of a flat panel and with the lens capped make a patch of the scene
// uniform across the field and remove its hot and dead pixels.
void checkCorrection(LONG h, sim::Camera& camera, int bits,
                     const std::function<std::vector<int32_t>(int)>& snap) {
  ASSERT_EQ(Nivexa_SetColorMode(h, bits), 1);
  // Bright enough that the flat panel fills most of the 8-bit range, so the references' own
  // rounding is small next to the vignetting they remove.
  BOOL ok = 0;
  const double exposure = Nivexa_GetExposureTimeEx(h, &ok);
  ASSERT_TRUE(ok);
  if (bits == 8) {
    ASSERT_EQ(Nivexa_SetExposureTimeEx(h, exposure * 2.4), 1);
  }
  camera.setScene(sim::Illumination::Pattern);
  const auto before = snap(bits);
  camera.setScene(sim::Illumination::Dark);
  const auto dark = snap(bits);
  ASSERT_EQ(Nivexa_UpdateMaskData(h, 0), 1);
  camera.setScene(sim::Illumination::Flat);
  const auto flat = snap(bits);
  ASSERT_EQ(Nivexa_UpdateMaskData(h, 1), 1);
  const int32_t fullScale = bits == 8 ? 255 : 4095;
  ASSERT_LT(flat[768 * kFullWidth + 1024], fullScale) << "the flat panel must not saturate";
  camera.setScene(sim::Illumination::Pattern);
  ASSERT_EQ(Nivexa_SetMaskFilter(h, 1), 1);
  const auto flattened = snap(bits);
  ASSERT_EQ(Nivexa_SetDotFilter(h, 1), 1);
  const auto after = snap(bits);
  ASSERT_EQ(Nivexa_SetMaskFilter(h, 0), 1);
  ASSERT_EQ(Nivexa_SetDotFilter(h, 0), 1);

  const int32_t outlierStep = bits == 8 ? 20 : 320;
  const Spread raw = patchSpread(before, outlierStep);
  const Spread corrected = patchSpread(after, outlierStep);
  auto relative = [](const Spread& s) { return double(s.max - s.min) / (s.max + s.min) * 2; };
  // Uncorrected, vignetting darkens the patch towards the corner and defects stand out.
  EXPECT_GT(raw.outliers, 0) << bits;
  // (At 8 bits the vignetting inside one patch is about the size of the output rounding, so the
  // comparison is made at 16 bits; the exact check below covers both.)
  if (bits == 16) {
    EXPECT_GT(relative(raw), 0.02);
    EXPECT_LT(relative(corrected), relative(raw) / 2);
  } else {
    EXPECT_LE(corrected.max - corrected.min, 2);
  }
  // Corrected: the vignetting is gone but for the rounding of the references, and so are the
  // defects.
  EXPECT_EQ(corrected.outliers, 0) << bits;
  // With the mask filter alone every pixel is exactly the flat-field formula applied to the
  // frames the references were taken from (the camera renders without noise here).
  size_t exact = 0, compared = 0;
  for (int32_t y = 8; y < kFullHeight - 8; y += 7) {
    for (int32_t x = 8; x < kFullWidth - 8; x += 5) {
      const size_t i = static_cast<size_t>(y) * kFullWidth + x;
      const int32_t d = dark[i], w = flat[i], v = before[i];
      int32_t expected = v;
      if (bits == 8 && d != w) {
        expected = std::clamp((v - d) * 256 / (w - d), 0, 255);
      } else if (bits == 16 && d < w) {
        expected = std::clamp((v - d) * 4096 / (w - d), 0, 4095);
      }
      ++compared;
      exact += flattened[i] == expected ? 1 : 0;
    }
  }
  EXPECT_EQ(exact, compared) << bits;
}

TEST_F(MaskTest, FlatAndDarkReferencesCorrectThePatternAtEightAndSixteenBits) {
  auto snap = [this](int bits) { return snapshot(bits); };
  checkCorrection(h_, *camera_, 8, snap);
  checkCorrection(h_, *camera_, 16, snap);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(MaskTest, SaveLoadRoundTripIsByteIdenticalAndBadFilesChangeNothing) {
  snapshot(8);
  ASSERT_EQ(Nivexa_UpdateMaskData(h_, 1), 1);  // something other than the initial references
  const std::string saved = path("saved.msk");
  ASSERT_EQ(Nivexa_SaveMaskFile(h_, saved.c_str()), 1);
  const auto good = fileBytes(saved);
  ASSERT_EQ(good.size(), 40u + 2u * 3145728u + 2u * 6291456u);
  ASSERT_EQ(Nivexa_LoadMaskFile(h_, saved.c_str()), 1);
  const std::string again = path("again.msk");
  ASSERT_EQ(Nivexa_SaveMaskFile(h_, again.c_str()), 1);
  EXPECT_EQ(fileBytes(again), good);

  auto truncated = good;
  truncated.resize(good.size() - 4096);
  auto magic = good;
  magic[0] = 'X';
  auto height = good;
  height[20] = static_cast<uint8_t>(1535 & 0xFF);  // 1536 = 0x600; 1535 = 0x5FF
  height[21] = static_cast<uint8_t>(1535 >> 8);
  auto garbage = std::vector<uint8_t>(good.begin(), good.begin() + 40);
  for (int i = 0; i < 1000; ++i) {
    garbage.push_back(static_cast<uint8_t>(i * 37));
  }
  const std::string bad = path("bad.msk");
  for (const auto& bytes : {truncated, magic, height, garbage}) {
    writeBytes(bad, bytes);
    EXPECT_EQ(Nivexa_LoadMaskFile(h_, bad.c_str()), 0);
    EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_MASK_FILE});
    ASSERT_EQ(Nivexa_SaveMaskFile(h_, again.c_str()), 1);
    EXPECT_EQ(fileBytes(again), good) << "a refused file changed the references";
  }
  EXPECT_EQ(Nivexa_LoadMaskFile(h_, path("missing.msk").c_str()), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_MASK_FILE});
  // A save that cannot create its file is 14 and leaves an existing file alone.
  EXPECT_EQ(Nivexa_SaveMaskFile(h_, (::testing::TempDir() + "no-such-dir/x.msk").c_str()), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_MASK_FILE});
  // Wide paths take the same road.
  const std::wstring wide(again.begin(), again.end());
  EXPECT_EQ(Nivexa_LoadMaskFileW(h_, wide.c_str()), 1);
  EXPECT_EQ(Nivexa_SaveMaskFileW(h_, wide.c_str()), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

// A mask or configuration path may name anything: a pipe with no writer would hold the caller
// (and with it the stream) forever, a huge file would be read whole. Neither is waited on.
TEST_F(MaskTest, LongerMasksLoadAndPipesOrHugeFilesAreRefusedAtOnce) {
  snapshot(8);
  ASSERT_EQ(Nivexa_UpdateMaskData(h_, 1), 1);
  const std::string saved = path("longer.msk");
  ASSERT_EQ(Nivexa_SaveMaskFile(h_, saved.c_str()), 1);
  const auto good = fileBytes(saved);
  auto longer = good;
  longer.insert(longer.end(), 100, 0xA5);
  writeBytes(saved, longer);
  ASSERT_EQ(Nivexa_UpdateMaskData(h_, 0), 1);  // the references differ from the file now
  EXPECT_EQ(Nivexa_LoadMaskFile(h_, saved.c_str()), 1) << "only the announced bytes are read";
  const std::string again = path("longer-again.msk");
  ASSERT_EQ(Nivexa_SaveMaskFile(h_, again.c_str()), 1);
  EXPECT_TRUE(fileBytes(again) == good) << "the references are the file's";

  const std::string huge = path("huge.cfg");
  writeBytes(huge, std::vector<uint8_t>(kMaxConfigFileBytes + 8, 0));
  EXPECT_EQ(Nivexa_LoadConfigFileA(h_, huge.c_str()), 0);
#if !defined(_WIN32)
  const std::string pipe = path("pipe");
  std::remove(pipe.c_str());  // a run that was killed leaves its pipe
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(Nivexa_LoadMaskFile(h_, pipe.c_str()), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_MASK_FILE});
  EXPECT_EQ(Nivexa_LoadConfigFileA(h_, pipe.c_str()), 0);
#endif
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(MaskTest, UpdateTakesOnlyDarkOrWhite) {
  EXPECT_EQ(Nivexa_UpdateMaskData(h_, 2), 0);
  EXPECT_EQ(Nivexa_UpdateMaskData(h_, -1), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{NIVEXA_ERR_TEXT, NIVEXA_ERR_TEXT}));
  // Before any frame there is nothing to copy, and that is not a failure.
  EXPECT_EQ(Nivexa_UpdateMaskData(h_, 0), 1);
}

TEST(MaskWithoutCamera, EveryMaskOperationNeedsAnOpenCamera) {
  Sink notify;
  const LONG h = Nivexa_Initialize(notify);
  ASSERT_NE(h, 0);
  drainErrors(h);
  const std::string file = ::testing::TempDir() + "nivexa-mask-nocam.msk";
  EXPECT_EQ(Nivexa_SaveMaskFile(h, file.c_str()), 0);
  EXPECT_EQ(Nivexa_LoadMaskFile(h, file.c_str()), 0);
  EXPECT_EQ(Nivexa_UpdateMaskData(h, 0), 0);
  EXPECT_EQ(drainErrors(h),
            (std::vector<LONG>{NIVEXA_ERR_NO_CAMERA, NIVEXA_ERR_NO_CAMERA, NIVEXA_ERR_NO_CAMERA}));
  std::ifstream probe(file);
  EXPECT_FALSE(probe.good()) << "nothing was written";
  Nivexa_Release(h);
}

}  // namespace
}  // namespace nivexa::camera::test

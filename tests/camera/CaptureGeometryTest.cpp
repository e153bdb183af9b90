// The capture geometry through the exports: the engine's checks, the validation, the size
// presets of the settings store, and the area the frames then have.
#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "camera/CNivexa.h"
#include "camera/CameraTestSupport.h"
#include "camera/DialogPort.h"
#include "dialogs/ControlIds.h"
#include "dialogs/StreamDialog.h"
#include "imaging/mask/DefectMask.h"
#include "platform/Registry.h"
#include "platform/RegistryTestSupport.h"
#include "settings/Layout.h"
#include "settings/SizeSet.h"
#include "settings/StreamSettings.h"

namespace nivexa::camera::test {
namespace {

using Geometry = std::array<LONG, 6>;  // hTotal, hStart, hEffective, vTotal, vStart, vEffective

Geometry geometryOf(LONG h) {
  Geometry g{};
  EXPECT_EQ(Nivexa_GetCaptureWindowEx(h, &g[0], &g[1], &g[2], &g[3], &g[4], &g[5]), 1);
  return g;
}

BOOL setGeometry(LONG h, const Geometry& g) {
  return Nivexa_SetCaptureWindowEx(h, g[0], g[1], g[2], g[3], g[4], g[5]);
}

// Writes Size_NN presets directly under the product key, in the order given.
void storePresets(const std::vector<std::pair<int, settings::GeometrySettings>>& presets) {
  platform::RegistryChanges changes;
  for (const auto& [number, preset] : presets) {
    settings::writeSizeSet(
        changes, std::string(settings::kProductKey) + "\\" + settings::sizeKeyName(number), preset);
  }
  ASSERT_TRUE(changes.apply());
}

// A snapshot of exactly width x height 8-bit pixels succeeds only when the engine reads out
// that area.
bool snapshotOfSize(LONG h, LONG width, LONG height) {
  std::vector<uint8_t> image(static_cast<size_t>(width * height));
  return Nivexa_SnapShot(h, image.data(), LONG(image.size()), 1) == 1 && Nivexa_Width(h) == width &&
         Nivexa_Height(h) == height;
}

constexpr Geometry kFull{2048, 0, 2048, 1536, 0, 1536};

TEST_F(CameraTest, AnAreaBeyondTheSensorIsError7AndStaysStored) {
  const Geometry beyond{2048, 100, 2000, 1536, 0, 1536};
  EXPECT_EQ(setGeometry(h_, beyond), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_FORMAT});
  EXPECT_EQ(geometryOf(h_), beyond);
  // The stream refuses it too, until a valid area is set.
  std::vector<uint8_t> image(kFullFrame8);
  EXPECT_EQ(Nivexa_SnapShot(h_, image.data(), LONG(image.size()), 1), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_FORMAT});

  EXPECT_EQ(setGeometry(h_, {2048, -8, 1024, 1536, 0, 768}), 0);
  EXPECT_EQ(setGeometry(h_, {2048, 0, 1024, 1536, 776, 768}), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{NIVEXA_ERR_FORMAT, NIVEXA_ERR_FORMAT}));
}

TEST_F(CameraTest, TriplesTheEngineRefusesAreError9AndChangeNothing) {
  const Geometry before = geometryOf(h_);
  EXPECT_EQ(setGeometry(h_, {1000, 0, 1024, 1536, 0, 1536}), 0);  // wider than its total
  EXPECT_EQ(setGeometry(h_, {2048, 0, 0, 1536, 0, 1536}), 0);     // empty
  EXPECT_EQ(setGeometry(h_, {4096, 0, 1024, 1536, 0, 1536}), 0);  // total beyond the array
  EXPECT_EQ(setGeometry(h_, {2048, 0, 2048, 1536, 0, 2000}), 0);  // taller than the array
  EXPECT_EQ(errors(), std::vector<LONG>(4, NIVEXA_ERR_ARGUMENT));
  EXPECT_EQ(geometryOf(h_), before);
  // The full width and height pass whatever their totals say.
  EXPECT_EQ(setGeometry(h_, {0, 0, 2048, 0, 0, 1536}), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(CameraTest, AnAcceptedAreaIsWhatTheFramesThenShow) {
  ASSERT_EQ(setGeometry(h_, {2048, 512, 1024, 1536, 384, 768}), 1);
  EXPECT_TRUE(snapshotOfSize(h_, 1024, 768));
  ASSERT_EQ(setGeometry(h_, kFull), 1);
  EXPECT_TRUE(snapshotOfSize(h_, 2048, 1536));
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

// Open fault: on a loaded machine the snapshot right after the preview often fails with error 8,
// the engine's frame size not matching the bitmaps prepared for the new area (a race between the
// area stored during the preview and the next stream's preparation). Disabled until mended, so
// that it does not hide other results; run it with --gtest_also_run_disabled_tests.
TEST_F(CameraTest, ARunningPreviewKeepsItsFrameSizeAndTheNextStreamTakesTheNewArea) {
  Sink frames;
  std::vector<uint8_t> image(kFullFrame8);
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames, image.data(), LONG(image.size()), 1), 1);
  ASSERT_EQ(setGeometry(h_, {2048, 0, 1024, 1536, 0, 768}), 1);
  frames.take();
  nivexa::test::TestMessage message{};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(nextMessage(frames, message));
    ASSERT_NE(message.wParam, 0u) << "frames keep coming whole";
    // The record is rewritten by the next frame while it is read: read as the library writes.
    auto* info = reinterpret_cast<NivexaFrameInfo*>(message.wParam);
    EXPECT_EQ(std::atomic_ref<LONG>(info->width).load(std::memory_order_relaxed), 2048);
  }
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_TRUE(snapshotOfSize(h_, 1024, 768));
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(CameraTest, SizePresetsAreFoundByTheirFrameSizeInOrderUpToTheFirstGap) {
  storePresets({{0, {2048, 1536, 2048, 1536, 0, 0, 4}},
                {1, {2048, 1536, 1024, 768, 512, 384, 8}},
                {2, {2048, 1536, 1024, 768, 0, 0, 2}},
                {4, {2048, 1536, 512, 512, 0, 0, 4}}});
  EXPECT_EQ(Nivexa_SetCaptureWindow(h_, 1024, 768), 1);
  EXPECT_EQ(geometryOf(h_), (Geometry{2048, 512, 1024, 1536, 384, 768})) << "the first match";
  EXPECT_TRUE(snapshotOfSize(h_, 1024, 768));
  EXPECT_EQ(errors(), std::vector<LONG>{});

  EXPECT_EQ(Nivexa_SetCaptureWindow(h_, 512, 512), 0) << "Size_04 lies beyond the gap";
  EXPECT_EQ(Nivexa_SetCaptureWindow(h_, 640, 480), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{NIVEXA_ERR_WINDOW, NIVEXA_ERR_WINDOW}));
  EXPECT_EQ(geometryOf(h_), (Geometry{2048, 512, 1024, 1536, 384, 768}));
}

TEST_F(CameraTest, APresetBeyondTheSensorIsError7AndLeavesTheFullSensor) {
  storePresets({{0, {2048, 1536, 2000, 1536, 100, 0, 4}}});
  ASSERT_EQ(setGeometry(h_, {2048, 0, 1024, 1536, 0, 768}), 1);
  EXPECT_EQ(Nivexa_SetCaptureWindow(h_, 2000, 1536), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_FORMAT});
  EXPECT_EQ(geometryOf(h_), kFull);
  EXPECT_TRUE(snapshotOfSize(h_, 2048, 1536));
}

TEST_F(CameraTest, WithoutTheProductKeyNoPresetIsFound) {
  platform::RegistryChanges changes;
  changes.removeKey(settings::kProductKey);
  ASSERT_TRUE(changes.apply());
  EXPECT_EQ(Nivexa_SetCaptureWindow(h_, 2048, 1536), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_WINDOW});
}

using SensorSizeFromTheCamera = TemporaryRegistry;

// A camera object made for another product of the family, whose sensor is 640 x 512, on a fresh
// store: every full size it uses is that sensor's, none the 2048 x 1536 of this product.
TEST_F(SensorSizeFromTheCamera, AnotherProductsSensorSetsTheGeometryMaskStoredSizesAndDialog) {
  constexpr int32_t kOtherProduct = 0x3290;
  sim::CameraOptions options = fastCamera("VC0640");
  options.productId = kOtherProduct;
  const auto sim = sim::createCamera(options);
  {
    CNivexa camera(kOtherProduct);
    ASSERT_EQ(camera.Initialize(nullptr), 1);
    ASSERT_EQ(camera.GetLastError(), 0u) << "the camera opened";

    // The camera object's own geometry, in its fixed-width integers (LONG is long on Windows).
    using ObjectGeometry = std::array<int32_t, 6>;
    ObjectGeometry g{};
    camera.GetCaptureWindowEx(&g[0], &g[1], &g[2], &g[3], &g[4], &g[5]);
    EXPECT_EQ(g, (ObjectGeometry{640, 0, 640, 512, 0, 512}));
    NivexaCameraInfo info{};
    info.size = sizeof info;
    ASSERT_EQ(camera.GetCameraInfo(&info), 1);
    EXPECT_EQ(info.widthLimit, 640);
    EXPECT_EQ(info.heightLimit, 512);
    // The first run stored the full size of this sensor.
    EXPECT_EQ(settings::loadSizeSets(-1),
              (std::vector<settings::GeometrySettings>{{640, 512, 640, 512, 0, 0, 4}}));

    // The engine passes this sensor's full width and height whatever their totals, and refuses
    // this product's.
    EXPECT_EQ(camera.SetCaptureWindowEx(700, 0, 640, 600, 0, 512), 1);
    EXPECT_EQ(camera.SetCaptureWindowEx(2048, 0, 2048, 1536, 0, 1536), 0);
    EXPECT_EQ(camera.GetLastError(), uint32_t{NIVEXA_ERR_ARGUMENT});
    // A preset it cannot read out falls back to the whole of this sensor.
    storePresets({{0, {2048, 1536, 2048, 1536, 0, 0, 4}}});
    EXPECT_EQ(camera.SetCaptureWindow(2048, 1536), 0);
    EXPECT_EQ(camera.GetLastError(), uint32_t{NIVEXA_ERR_FORMAT});
    camera.GetCaptureWindowEx(&g[0], &g[1], &g[2], &g[3], &g[4], &g[5]);
    EXPECT_EQ(g, (ObjectGeometry{640, 0, 640, 512, 0, 512}));

    // The mask covers this sensor: its file records 640 x 512, and a file of this product's
    // sensor is refused.
    const std::string path =
        ::testing::TempDir() + "sensor-size-" + std::to_string(std::random_device{}());
    ASSERT_EQ(camera.SaveMaskFile((path + "-640.msk").c_str()), 1);
    std::vector<uint8_t> header(imaging::mask::kHeaderBytes);
    {
      std::ifstream in(path + "-640.msk", std::ios::binary);
      in.read(reinterpret_cast<char*>(header.data()), std::streamsize(header.size()));
    }
    EXPECT_EQ(header[16] | header[17] << 8, 640);
    EXPECT_EQ(header[20] | header[21] << 8, 512);
    EXPECT_EQ(camera.LoadMaskFile((path + "-640.msk").c_str()), 1);
    imaging::mask::DefectMask productMask;
    ASSERT_EQ(productMask.Create({2048, 1536}), 1);
    ASSERT_TRUE(productMask.Save((path + "-2048.msk").c_str()));
    EXPECT_EQ(camera.LoadMaskFile((path + "-2048.msk").c_str()), 0);
    EXPECT_EQ(camera.GetLastError(), uint32_t{NIVEXA_ERR_MASK_FILE});
    std::remove((path + "-640.msk").c_str());
    std::remove((path + "-2048.msk").c_str());

    // Skipping in the stream dialog reads the whole sensor: this one's, added to the list.
    ASSERT_EQ(camera.SetCaptureWindowEx(640, 0, 320, 512, 0, 256), 1);
    DialogPort port(camera);
    dialogs::StreamDialog dialog(port, dialogs::Language::English);
    ASSERT_EQ(dialog.control(0, dialogs::ids::kSizeCombo).items.front(), "320 x 256");
    dialog.choose(dialog.find(0, dialogs::ids::kSubSampleCombo), 1);
    EXPECT_EQ(dialog.control(0, dialogs::ids::kSizeCombo).items,
              (std::vector<std::string>{"320 x 256", "640 x 512", "Custom"}));
    EXPECT_EQ(dialog.control(0, dialogs::ids::kHEffective).text, "640");
    EXPECT_EQ(dialog.control(0, dialogs::ids::kVEffective).text, "512");
  }
  sim::removeCamera(sim);
}

}  // namespace
}  // namespace nivexa::camera::test

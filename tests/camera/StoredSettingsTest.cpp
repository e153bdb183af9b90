// What a handle keeps from one run to the next: the settings store seen through the exports,
// each test with a store of its own.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "camera/CameraTestSupport.h"
#include "camera/FilterIds.h"
#include "camera/FilterTable.h"
#include "platform/Registry.h"
#include "platform/RegistryText.h"
#include "settings/Layout.h"
#include "settings/ParameterRanges.h"
#include "settings/StoredValues.h"
#include "settings/StreamSettings.h"

namespace nivexa::camera::test {
namespace {

using platform::RegistryKey;
using settings::cameraKeyPath;
using settings::fromDword;
using settings::toDword;

std::string groupPath(int32_t position, const char* group) {
  return cameraKeyPath(position) + "\\" + group;
}

std::optional<int32_t> storedValue(const std::string& keyPath, const char* name) {
  const auto key = RegistryKey::open(keyPath);
  const auto value = key ? key->queryDword(name) : std::nullopt;
  return value ? std::optional<int32_t>(fromDword(*value)) : std::nullopt;
}

void store(const std::string& keyPath, const char* name, int32_t value) {
  platform::RegistryChanges changes;
  changes.setDword(keyPath, name, toDword(value));
  ASSERT_TRUE(changes.apply());
}

LONG get(LONG (*getter)(LONG, BOOL*), LONG h) {
  BOOL ok = 0;
  const LONG value = getter(h, &ok);
  EXPECT_EQ(ok, 1);
  return value;
}

NivexaCameraInfo cameraInfo(LONG h) {
  NivexaCameraInfo info{};
  info.size = sizeof info;
  EXPECT_EQ(Nivexa_GetCameraInfo(h, &info), 1);
  return info;
}

TEST(StoredSettings, TheFirstInitializeWritesTheFirstRunValuesUnderCameraMinusOne) {
  Sink notify;
  const LONG h = Nivexa_Initialize(notify);
  ASSERT_NE(h, 0);
  const std::string camera = cameraKeyPath(-1);
  EXPECT_EQ(camera, std::string(settings::kProductKey) + "\\Camera_-1");
  EXPECT_EQ(storedValue(camera, "Size"), 0);
  EXPECT_EQ(storedValue(camera, "Color"), 2);
  EXPECT_EQ(storedValue(camera, "SubSample"), 0);
  EXPECT_EQ(storedValue(camera, "WaitTime"), 1);
  EXPECT_EQ(storedValue(camera, "Clock"), 0);
  const std::pair<const char*, int32_t> size[] = {
      {"TH", 2048}, {"TV", 1536}, {"EH", 2048}, {"EV", 1536}, {"EHS", 0}, {"EVS", 0}, {"Buf", 4}};
  for (const auto& [name, value] : size) {
    EXPECT_EQ(storedValue(camera + "\\Size_00", name), value) << name;
  }
  EXPECT_EQ(RegistryKey::open(groupPath(0, "Gain")), nullptr) << "made by the first save";
  // No camera was open: there is nothing of a camera's to save.
  Nivexa_Release(h);
  EXPECT_EQ(RegistryKey::open(groupPath(0, "Gain")), nullptr);
  EXPECT_EQ(RegistryKey::open(groupPath(0, "Filter")), nullptr);
  EXPECT_EQ(RegistryKey::open(groupPath(0, "Gray")), nullptr);

  // With a camera, the release is the first save.
  auto attached = sim::createCamera(fastCamera());
  const LONG withCamera = Nivexa_Initialize(notify);
  ASSERT_NE(withCamera, 0);
  Nivexa_Release(withCamera);
  sim::removeCamera(attached);
  EXPECT_NE(RegistryKey::open(groupPath(0, "Gain")), nullptr);
  EXPECT_NE(RegistryKey::open(groupPath(0, "Filter")), nullptr);
  EXPECT_NE(RegistryKey::open(groupPath(0, "Gray")), nullptr);
}

// An application that looks for cameras before one is attached (a tool that then falls back
// to a virtual camera does exactly this) must not leave the next handle with black frames.
TEST(StoredSettings, AHandleThatNeverOpenedACameraKeepsThePositionsStoredSettings) {
  Sink notify;
  Nivexa_Release(Nivexa_Initialize(notify));
  auto camera = sim::createCamera(fastCamera());
  LONG h = Nivexa_Initialize(notify);
  ASSERT_NE(h, 0);
  const LONG defaultExposure = get(Nivexa_GetExposureTime, h);
  EXPECT_GT(defaultExposure, 0) << "the sensor's default, not a stored 0";
  const NivexaCameraInfo info = cameraInfo(h);
  ASSERT_EQ(Nivexa_SetExposureTime(h, info.exposureMin + 3), 1);
  Nivexa_Release(h);

  sim::removeCamera(camera);
  Nivexa_Release(Nivexa_Initialize(notify));
  EXPECT_EQ(storedValue(groupPath(0, "Gain"), "Exposure"), info.exposureMin + 3);
  camera = sim::createCamera(fastCamera());
  h = Nivexa_Initialize(notify);
  EXPECT_EQ(get(Nivexa_GetExposureTime, h), info.exposureMin + 3);
  Nivexa_Release(h);
  sim::removeCamera(camera);
}

TEST_F(CameraTest, AGlobalGainIsStoredAtReleaseWithTheSameValueInEveryColourGain) {
  const NivexaCameraInfo info = cameraInfo(h_);
  const LONG gain = (info.globalGainMin + info.globalGainMax) / 2 + 1;
  ASSERT_EQ(Nivexa_SetGlobalGain(h_, gain), 1);
  Nivexa_Release(h_);
  h_ = 0;
  for (const char* name : {"Global", "ColorG1", "ColorR", "ColorB", "ColorG2"}) {
    EXPECT_EQ(storedValue(groupPath(0, "Gain"), name), gain) << name;
  }
}

TEST_F(CameraTest, WithoutAGrayKeyTheGrayGainsAre128AndTheOffsetsNeutral) {
  for (auto getter :
       {Nivexa_GetGrayGainR, Nivexa_GetGrayGainG1, Nivexa_GetGrayGainG2, Nivexa_GetGrayGainB}) {
    EXPECT_EQ(get(getter, h_), 128);
  }
  for (auto getter : {Nivexa_GetGrayOffsetR, Nivexa_GetGrayOffsetG1, Nivexa_GetGrayOffsetG2,
                      Nivexa_GetGrayOffsetB}) {
    EXPECT_EQ(get(getter, h_), 0);
  }
}

TEST_F(CameraTest, SettingsSurviveAReleaseAndANewInitialize) {
  const NivexaCameraInfo info = cameraInfo(h_);
  const LONG exposure = info.exposureMin + 7;
  ASSERT_EQ(Nivexa_SetBrightness(h_, -200), 1);
  ASSERT_EQ(Nivexa_SetGamma(h_, 150), 1);
  ASSERT_EQ(Nivexa_SetGrayOffsetG2(h_, -7), 1);
  ASSERT_EQ(Nivexa_SetGrayMode(h_, 1), 1);
  ASSERT_EQ(Nivexa_SetExposureTime(h_, exposure), 1);
  ASSERT_EQ(Nivexa_SetMirrorH(h_, 1), 1);
  Nivexa_Release(h_);

  h_ = Nivexa_Initialize(notify_);
  ASSERT_NE(h_, 0);
  EXPECT_EQ(get(Nivexa_GetBrightness, h_), -200);
  EXPECT_EQ(get(Nivexa_GetGamma, h_), 150);
  EXPECT_EQ(get(Nivexa_GetGrayOffsetG2, h_), -7);
  EXPECT_EQ(get(Nivexa_GetGrayMode, h_), 1);
  EXPECT_EQ(get(Nivexa_GetExposureTime, h_), exposure) << "re-applied to the camera";
  EXPECT_EQ(Nivexa_GetMirrorH(h_), 1);
}

TEST(StoredSettingsTwoCameras, EachPositionKeepsItsOwnAndADeviceChangeSavesTheOldOneFirst) {
  auto cameras = sim::createCameras({fastCamera("VC0001"), fastCamera("VC0002")});
  Sink notify;
  LONG h = Nivexa_Initialize(notify);
  ASSERT_EQ(Nivexa_SetDeviceNumber(h, 0), 1);
  ASSERT_EQ(Nivexa_SetBrightness(h, 40), 1);
  EXPECT_EQ(storedValue(groupPath(0, "Filter"), "Brightness"), std::nullopt)
      << "parameter changes are stored only by the next device change or the release";
  ASSERT_EQ(Nivexa_SetDeviceNumber(h, 1), 1);
  EXPECT_EQ(storedValue(groupPath(0, "Filter"), "Brightness"), 40);
  EXPECT_EQ(get(Nivexa_GetBrightness, h), 0) << "position 1 has nothing stored yet";
  ASSERT_EQ(Nivexa_SetBrightness(h, -30), 1);
  EXPECT_EQ(Nivexa_SetDeviceNumber(h, 7), 0) << "no such device";
  EXPECT_EQ(storedValue(groupPath(1, "Filter"), "Brightness"), -30)
      << "an invalid number still saves the open device first";
  Nivexa_Release(h);

  h = Nivexa_Initialize(notify);
  ASSERT_EQ(Nivexa_SetDeviceNumber(h, 1), 1);
  EXPECT_EQ(get(Nivexa_GetBrightness, h), -30);
  ASSERT_EQ(Nivexa_SetDeviceNumber(h, 0), 1);
  EXPECT_EQ(get(Nivexa_GetBrightness, h), 40);
  Nivexa_Release(h);
  for (const auto& camera : cameras) {
    sim::removeCamera(camera);
  }
}

// Values placed in the store before the handle is made.
class PreparedStore : public ::testing::Test {
 protected:
  void TearDown() override {
    if (h_ != 0) {
      Nivexa_Release(h_);
    }
    if (camera_) {
      sim::removeCamera(camera_);
    }
  }
  void open() {
    camera_ = sim::createCamera(fastCamera());
    h_ = Nivexa_Initialize(notify_);
    ASSERT_NE(h_, 0);
  }

  Sink notify_;
  std::shared_ptr<sim::Camera> camera_;
  LONG h_ = 0;
};

TEST_F(PreparedStore, AGainKeyWithoutColorRLeavesTheRedGainAndLoadsTheRest) {
  // This camera's sensor has no colour gains (their range is 0..0), so the values that show
  // loading are the global gain and the exposure, which it takes in seconds.
  const std::string gain = groupPath(0, "Gain");
  store(gain, "Global", 100);
  store(gain, "Exposure", 123);
  platform::RegistryChanges seconds;
  seconds.setBinary(gain, "ExposureEx", settings::encodeDouble(0.0123));
  ASSERT_TRUE(seconds.apply());
  store(gain, "ColorG1", 0);
  store(gain, "ColorB", 0);
  store(gain, "ColorG2", 0);
  store(gain, "H_Mirror", 1);
  open();
  EXPECT_EQ(get(Nivexa_GetGlobalGain, h_), 100);
  EXPECT_EQ(get(Nivexa_GetRealExposureTime, h_), 12300);
  BOOL ok = 0;
  EXPECT_NEAR(Nivexa_GetExposureTimeEx(h_, &ok), 0.0123, 1e-4) << "applied to the camera";
  EXPECT_EQ(Nivexa_GetMirrorH(h_), 1);
  Nivexa_Release(h_);
  h_ = 0;
  EXPECT_EQ(storedValue(gain, "ColorR"), 0) << "the object's red gain as it was constructed";
  EXPECT_EQ(storedValue(gain, "Global"), 100);
  EXPECT_EQ(storedValue(gain, "Exposure"), 123);
}

TEST_F(PreparedStore, StoredValuesTheSettersWouldRefuseAreNotApplied) {
  store(groupPath(0, "Filter"), "Brightness", 9999);
  store(groupPath(0, "Filter"), "Gamma", 150);
  store(groupPath(0, "Gray"), "OffsetR1", -256);
  store(groupPath(0, "Gain"), "Global", 1000000);
  store(groupPath(0, "Gain"), "AutoIris", 7);
  open();
  EXPECT_EQ(get(Nivexa_GetBrightness, h_), 0);
  EXPECT_EQ(get(Nivexa_GetGamma, h_), 150);
  EXPECT_EQ(get(Nivexa_GetGrayOffsetR, h_), 0);
  const NivexaCameraInfo info = cameraInfo(h_);
  const LONG global = get(Nivexa_GetGlobalGain, h_);
  EXPECT_GE(global, info.globalGainMin);
  EXPECT_LE(global, info.globalGainMax);
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetAutoIris(h_, &ok), 0);
}

// The first-run key is read before a camera is open; the open camera's own stored size, where
// the stream dialog keeps the user's choice, then takes its place and survives a restart.
TEST_F(PreparedStore, TheStoredCaptureGeometryIsLoadedAtInitialization) {
  const std::string firstRun = cameraKeyPath(-1);
  store(firstRun, "Size", 1);
  const std::pair<const char*, int32_t> quarter[] = {{"TH", 2048}, {"TV", 1536}, {"EH", 1024},
                                                     {"EV", 768},  {"EHS", 512}, {"EVS", 384},
                                                     {"Buf", 2}};
  for (const auto& [name, value] : quarter) {
    store(firstRun + "\\Size_01", name, value);
  }
  open();
  LONG hTotal = 0, hStart = 0, hEffective = 0, vTotal = 0, vStart = 0, vEffective = 0;
  const auto read = [&] {
    ASSERT_EQ(
        Nivexa_GetCaptureWindowEx(h_, &hTotal, &hStart, &hEffective, &vTotal, &vStart, &vEffective),
        1);
  };
  read();
  EXPECT_EQ(hEffective, 1024) << "no size of the camera's own: the first-run key holds";
  EXPECT_EQ(vEffective, 768);
  EXPECT_EQ(hStart, 512);
  EXPECT_EQ(vStart, 384);

  settings::StreamSettings stream;
  ASSERT_TRUE(settings::saveStreamSettings(0, stream, 0, {2048, 1536, 640, 480, 64, 32, 4}));
  Nivexa_Release(h_);
  h_ = Nivexa_Initialize(notify_);
  ASSERT_NE(h_, 0);
  read();
  EXPECT_EQ(hEffective, 640);
  EXPECT_EQ(vEffective, 480);
  EXPECT_EQ(hStart, 64);
  EXPECT_EQ(vStart, 32);
  std::vector<uint8_t> image(640 * 480);
  EXPECT_EQ(Nivexa_SnapShot(h_, image.data(), LONG(image.size()), 1), 1);
  EXPECT_EQ(Nivexa_Width(h_), 640);
}

// The store refuses what the setters refuse; the two tables must not drift apart.
TEST(StoredSettingsRanges, AreTheRangesOfTheFilterValueSetters) {
  const std::pair<int32_t, settings::IntRange> rows[] = {
      {kFilterBrightness, settings::kBrightnessRange},
      {kFilterContrast, settings::kContrastRange},
      {kFilterHue, settings::kHueRange},
      {kFilterSaturation, settings::kSaturationRange},
      {kFilterSharpness, settings::kSharpnessRange},
      {kFilterBayerGainRed, settings::kBayerGainRange},
      {kFilterBayerGainGreen, settings::kBayerGainRange},
      {kFilterBayerGainBlue, settings::kBayerGainRange},
      {kFilterGamma, settings::kGammaRange},
      {kFilterBayerMode, settings::kBayerModeRange},
      {kFilterGrayMode, settings::kGrayModeRange},
      {kFilterGrayGainR, settings::kGrayGainRange},
      {kFilterGrayGainG1, settings::kGrayGainRange},
      {kFilterGrayGainG2, settings::kGrayGainRange},
      {kFilterGrayGainB, settings::kGrayGainRange},
      {kFilterGrayOffsetR, settings::kGrayOffsetRange},
      {kFilterGrayOffsetG1, settings::kGrayOffsetRange},
      {kFilterGrayOffsetG2, settings::kGrayOffsetRange},
      {kFilterGrayOffsetB, settings::kGrayOffsetRange},
  };
  for (const auto& [id, range] : rows) {
    const ObjectFilterRow* row = findObjectFilter(id);
    ASSERT_NE(row, nullptr) << id;
    EXPECT_EQ(row->minimum, range.min) << id;
    EXPECT_EQ(row->maximum, range.max) << id;
  }
}

}  // namespace
}  // namespace nivexa::camera::test

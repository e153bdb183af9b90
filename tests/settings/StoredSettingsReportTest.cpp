#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "platform/RegistryTestSupport.h"
#include "settings/GainSettings.h"
#include "settings/Layout.h"
#include "settings/SettingsReport.h"
#include "settings/SizePresets.h"
#include "settings/StoredValues.h"
#include "settings/StreamSettings.h"

namespace nivexa::settings {
namespace {

using StoredSettingsReport = TemporaryRegistry;

constexpr SensorSize kSensor{2048, 1536};
constexpr GeometrySettings kFull = fullSensorGeometry(kSensor);

TEST_F(StoredSettingsReport, ShowsEveryPositionAndResetKeepsTheProductPresets) {
  EXPECT_NE(describeStoredSettings().find("no camera position has stored settings"),
            std::string::npos);
  EXPECT_EQ(resetStoredSettings(), 0);

  GeometrySettings geometry = kFull;
  loadGeometry(-1, geometry, FormatCapabilities{}, kSensor);
  GainSettings gain;
  gain.globalGain = 77;
  gain.blackLevel = -4;
  gain.exposureSeconds = 0.25;
  ASSERT_EQ(saveGainSettings(0, gain), 1);
  platform::RegistryChanges preset;
  preset.setDword(std::string(kProductKey) + "\\Size_00", "EH", 640);
  ASSERT_TRUE(preset.apply());

  const std::string text = describeStoredSettings();
  EXPECT_EQ(text.rfind("settings store: " + platform::registryFilePath() + "\n", 0), 0u) << text;
  // Values are listed in the store's own order (Windows lists them sorted), keys after values.
  const size_t minusOne = text.find("Camera_-1:\n");
  const size_t zero = text.find("Camera_00:\n  Gain:\n");
  ASSERT_NE(minusOne, std::string::npos) << text;
  ASSERT_NE(zero, std::string::npos) << text;
  const std::string first =
      text.substr(minusOne, zero > minusOne ? zero - minusOne : std::string::npos);
  const std::string second =
      text.substr(zero, minusOne > zero ? minusOne - zero : std::string::npos);
  for (const char* line :
       {"\n  Size = 0\n", "\n  Color = 2\n", "\n  SubSample = 0\n", "\n  WaitTime = 1\n",
        "\n  Clock = 0\n", "\n  Size_00:\n", "\n    TH = 2048\n"}) {
    EXPECT_NE(first.find(line), std::string::npos) << line << " in\n" << first;
  }
  for (const char* line :
       {"\n    Global = 77\n", "\n    BlackLevel = -4\n", "\n    ExposureEx = 0.25 s\n"}) {
    EXPECT_NE(second.find(line), std::string::npos) << line << " in\n" << second;
  }
  EXPECT_EQ(text.find("EH = 640"), std::string::npos) << "product presets are not a position";

  EXPECT_EQ(resetStoredSettings(), 2);
  EXPECT_EQ(platform::RegistryKey::open(cameraKeyPath(0)), nullptr);
  EXPECT_EQ(platform::RegistryKey::open(cameraKeyPath(-1)), nullptr);
  ASSERT_NE(platform::RegistryKey::open(kProductKey), nullptr);
  EXPECT_EQ(platform::RegistryKey::open(std::string(kProductKey) + "\\Size_00")->queryDword("EH"),
            640u);
  // With the product key still there, no first-run values are written again.
  EXPECT_EQ(loadGeometry(-1, geometry, FormatCapabilities{}, kSensor), 0);
  EXPECT_EQ(platform::RegistryKey::open(cameraKeyPath(-1)), nullptr);
}

}  // namespace
}  // namespace nivexa::settings

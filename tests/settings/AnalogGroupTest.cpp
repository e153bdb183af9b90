#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "platform/Registry.h"
#include "platform/RegistryTestSupport.h"
#include "settings/GainSettings.h"
#include "settings/Layout.h"
#include "settings/StoredValues.h"

namespace nivexa::settings {
namespace {

using GainGroup = TemporaryRegistry;

const std::string kGainPath = cameraKeyPath(0) + "\\Gain";

GainSettings sample() {
  GainSettings s;
  s.globalGain = 64;
  s.colourGainGreen1 = 65;
  s.colourGainRed = 66;
  s.colourGainBlue = 67;
  s.colourGainGreen2 = 68;
  s.exposureTicks = 100;
  s.mirrorV = 1;
  s.mirrorH = 0;
  s.autoIris = 2;
  s.gainMode = 1;
  s.blackLevel = -12;
  s.exposureSeconds = 0.01;
  return s;
}

bool sameGain(const GainSettings& a, const GainSettings& b) {
  return a.globalGain == b.globalGain && a.colourGainGreen1 == b.colourGainGreen1 &&
         a.colourGainRed == b.colourGainRed && a.colourGainBlue == b.colourGainBlue &&
         a.colourGainGreen2 == b.colourGainGreen2 && a.exposureTicks == b.exposureTicks &&
         a.mirrorV == b.mirrorV && a.mirrorH == b.mirrorH && a.autoIris == b.autoIris &&
         a.gainMode == b.gainMode && a.blackLevel == b.blackLevel &&
         std::bit_cast<uint64_t>(a.exposureSeconds) == std::bit_cast<uint64_t>(b.exposureSeconds);
}

TEST_F(GainGroup, ASavedGroupLoadsBackPerPositionWithExposureSecondsAsEightBytes) {
  ASSERT_EQ(saveGainSettings(0, sample()), 1);
  GainSettings other = sample();
  other.globalGain = 10;
  ASSERT_EQ(saveGainSettings(3, other), 1);

  GainSettings loaded;
  EXPECT_EQ(loadGainSettings(0, loaded, {}, {}), 1);
  EXPECT_TRUE(sameGain(loaded, sample()));
  EXPECT_EQ(loadGainSettings(3, loaded, {}, {}), 1);
  EXPECT_EQ(loaded.globalGain, 10);

  const auto key = platform::RegistryKey::open(kGainPath);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->queryBinary("ExposureEx"),
            (std::vector<uint8_t>{0x7b, 0x14, 0xae, 0x47, 0xe1, 0x7a, 0x84, 0x3f}));
  EXPECT_EQ(key->queryDword("BlackLevel"), 0xFFFFFFF4u);
  // Every value and nothing else; the order of a listing is the store's own (Windows lists
  // them sorted).
  auto names = key->valueNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"AutoIris", "BlackLevel", "ColorB", "ColorG1",
                                             "ColorG2", "ColorR", "Exposure", "ExposureEx",
                                             "GainMode", "Global", "H_Mirror", "V_Mirror"}));
}

TEST_F(GainGroup, WithoutTheKeyTheEngineDefaultsAreTaken) {
  GainDefaults defaults{32, 33, 500, 1, 1, 7, std::nullopt};
  GainSettings settings = sample();
  EXPECT_EQ(loadGainSettings(0, settings, defaults, {}), 0);
  EXPECT_EQ(settings.globalGain, 32);
  EXPECT_EQ(settings.colourGainRed, 33);
  EXPECT_EQ(settings.colourGainGreen2, 33);
  EXPECT_EQ(settings.exposureTicks, 500);
  EXPECT_EQ(settings.mirrorV, 1);
  EXPECT_EQ(settings.autoIris, 0);
  EXPECT_EQ(settings.gainMode, 0);
  EXPECT_EQ(settings.blackLevel, 7);
  EXPECT_EQ(settings.exposureSeconds, 0.01) << "kept: this engine has no seconds";
  defaults.exposureSeconds = 0.05;
  EXPECT_EQ(loadGainSettings(0, settings, defaults, {}), 0);
  EXPECT_EQ(settings.exposureSeconds, 0.05);
}

TEST_F(GainGroup, MissingOrRefusedValuesLeaveTheirFields) {
  platform::RegistryChanges changes;
  changes.setDword(kGainPath, "Global", 900);  // above the engine's maximum
  changes.setDword(kGainPath, "ColorG1", 50);  // accepted
  changes.setDword(kGainPath, "ColorB", 0);    // below the colour minimum
  changes.setDword(kGainPath, "Exposure", 0);  // no exposure of zero ticks
  changes.setDword(kGainPath, "V_Mirror", 5);  // stored as 1, as the setter does
  changes.setDword(kGainPath, "AutoIris", 3);
  changes.setDword(kGainPath, "GainMode", 2);
  changes.setDword(kGainPath, "BlackLevel", 4096);
  changes.setBinary(kGainPath, "ExposureEx", std::vector<uint8_t>(7, 0));
  changes.setBinary(kGainPath, "Global2", std::vector<uint8_t>(4, 0));
  ASSERT_TRUE(changes.apply());  // no "ColorR", "ColorG2" or "H_Mirror" at all

  GainLimits limits;
  limits.globalGain = IntRange{0, 480};
  limits.colourGain = IntRange{1, 255};
  limits.exposureTicks = IntRange{1, 20000};
  limits.blackLevel = IntRange{0, 1023};
  limits.exposureSeconds = SecondsRange{1e-4, 2.0};
  GainSettings settings = sample();
  settings.mirrorV = 0;
  EXPECT_EQ(loadGainSettings(0, settings, {}, limits), 1);
  GainSettings expected = sample();
  expected.colourGainGreen1 = 50;
  expected.mirrorV = 1;
  EXPECT_TRUE(sameGain(settings, expected));

  // Seconds: a wrong type, a value outside the engine's range, or not a number, are refused.
  const auto store = [](double seconds) {
    const auto bytes = encodeDouble(seconds);
    platform::RegistryChanges change;
    change.setBinary(kGainPath, "ExposureEx", bytes);
    return change.apply();
  };
  for (const double refused : {3.0, 1e-6, -0.5, std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity()}) {
    ASSERT_TRUE(store(refused));
    settings = sample();
    loadGainSettings(0, settings, {}, limits);
    EXPECT_EQ(settings.exposureSeconds, 0.01) << refused;
  }
  ASSERT_TRUE(store(1.5));
  loadGainSettings(0, settings, {}, limits);
  EXPECT_EQ(settings.exposureSeconds, 1.5);

  // Without an open device the engine has no ranges: values are kept as stored.
  settings = sample();
  loadGainSettings(0, settings, {}, {});
  EXPECT_EQ(settings.globalGain, 900);
  EXPECT_EQ(settings.blackLevel, 4096);
  EXPECT_EQ(settings.exposureTicks, 100) << "zero ticks is never an exposure";
  EXPECT_EQ(settings.autoIris, 2) << "fixed ranges apply always";
}

TEST(StoredValues, DoublesAreLittleEndianIeeeBytes) {
  EXPECT_EQ(encodeDouble(1.0), (std::array<uint8_t, 8>{0, 0, 0, 0, 0, 0, 0xf0, 0x3f}));
  EXPECT_EQ(encodeDouble(-2.0), (std::array<uint8_t, 8>{0, 0, 0, 0, 0, 0, 0, 0xc0}));
  const std::array<uint8_t, 8> bytes = {0x7b, 0x14, 0xae, 0x47, 0xe1, 0x7a, 0x84, 0x3f};
  EXPECT_EQ(decodeDouble(bytes), 0.01);
  EXPECT_EQ(decodeDouble(std::span<const uint8_t>(bytes).first(7)), std::nullopt);
  EXPECT_EQ(fromDword(toDword(-255)), -255);
  EXPECT_EQ(toDword(-1), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace nivexa::settings

#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "platform/RegistryTestSupport.h"
#include "settings/FilterSettings.h"
#include "settings/GraySettings.h"
#include "settings/Layout.h"
#include "settings/StoredValues.h"

namespace nivexa::settings {
namespace {

using ImageGroups = TemporaryRegistry;

// Each stored value against the range its setter accepts: both ends are taken, one past either
// end is not (and leaves the previous value).
struct RangeCase {
  const char* group;
  const char* name;
  int32_t min;
  int32_t max;
};

constexpr RangeCase kRanges[] = {
    {"Filter", "Brightness", -255, 255},
    {"Filter", "Contrast", -127, 127},
    {"Filter", "Hue", -360, 360},
    {"Filter", "Saturation", -255, 255},
    {"Filter", "Sharpness", 0, 30},
    {"Filter", "R_Gain", 0, 400},
    {"Filter", "G_Gain", 0, 400},
    {"Filter", "B_Gain", 0, 400},
    {"Filter", "Gamma", 0, 200},
    {"Filter", "BayerMode", 0, 3},
    {"Gray", "Mode", 0, 2},
    {"Gray", "GainR1", 0, 255},
    {"Gray", "GainG1", 0, 255},
    {"Gray", "GainG2", 0, 255},
    {"Gray", "GainB1", 0, 255},
    {"Gray", "OffsetR1", -255, 255},
    {"Gray", "OffsetG1", -255, 255},
    {"Gray", "OffsetG2", -255, 255},
    {"Gray", "OffsetB1", -255, 255},
};

// The loaded value of one stored name, starting from a group whose fields all hold `start`.
int32_t loadOne(const RangeCase& c, int32_t stored, int32_t start) {
  const std::string path = cameraKeyPath(2) + "\\" + c.group;
  platform::RegistryChanges changes;
  changes.removeKey(path);
  changes.setDword(path, c.name, toDword(stored));
  EXPECT_TRUE(changes.apply());
  const std::string name = c.name;
  if (std::string(c.group) == "Filter") {
    FilterSettings f;
    f.brightness = f.contrast = f.hue = f.saturation = f.sharpness = f.redGain = f.greenGain =
        f.blueGain = f.gamma = f.bayerMode = start;
    EXPECT_EQ(loadFilterSettings(2, f), 1);
    const std::pair<const char*, int32_t> fields[] = {
        {"Brightness", f.brightness}, {"Contrast", f.contrast},   {"Hue", f.hue},
        {"Saturation", f.saturation}, {"Sharpness", f.sharpness}, {"R_Gain", f.redGain},
        {"G_Gain", f.greenGain},      {"B_Gain", f.blueGain},     {"Gamma", f.gamma},
        {"BayerMode", f.bayerMode}};
    int32_t result = start;
    for (const auto& [fieldName, value] : fields) {
      if (name == fieldName) {
        result = value;
      } else {
        EXPECT_EQ(value, start) << fieldName << " changed by " << name;
      }
    }
    return result;
  }
  GraySettings g;
  g.mode = g.gainR = g.gainG1 = g.gainG2 = g.gainB = g.offsetR = g.offsetG1 = g.offsetG2 =
      g.offsetB = start;
  EXPECT_EQ(loadGraySettings(2, g), 1);
  const std::pair<const char*, int32_t> fields[] = {
      {"Mode", g.mode},         {"GainR1", g.gainR},      {"GainG1", g.gainG1},
      {"GainG2", g.gainG2},     {"GainB1", g.gainB},      {"OffsetR1", g.offsetR},
      {"OffsetG1", g.offsetG1}, {"OffsetG2", g.offsetG2}, {"OffsetB1", g.offsetB}};
  int32_t result = start;
  for (const auto& [fieldName, value] : fields) {
    if (name == fieldName) {
      result = value;
    } else {
      EXPECT_EQ(value, start) << fieldName << " changed by " << name;
    }
  }
  return result;
}

TEST_F(ImageGroups, StoredValuesAreTakenOnlyWithinTheirSettersRanges) {
  constexpr int32_t kStart = 1;
  for (const auto& c : kRanges) {
    SCOPED_TRACE(std::string(c.group) + "\\" + c.name);
    EXPECT_EQ(loadOne(c, c.min, kStart), c.min);
    EXPECT_EQ(loadOne(c, c.max, kStart), c.max);
    EXPECT_EQ(loadOne(c, c.min - 1, kStart), kStart);
    EXPECT_EQ(loadOne(c, c.max + 1, kStart), kStart);
    EXPECT_EQ(loadOne(c, 9999, kStart), kStart);
    EXPECT_EQ(loadOne(c, INT32_MIN, kStart), kStart);
  }
}

TEST_F(ImageGroups, WithoutTheirKeysTheGroupsTakeTheirDefaults) {
  FilterSettings filter;
  filter.brightness = 10;
  filter.redGain = 7;
  filter.autoWhiteBalance = 1;
  filter.autoGrayOnce = 1;
  EXPECT_EQ(loadFilterSettings(0, filter), 0);
  EXPECT_EQ(filter.brightness, 0);
  EXPECT_EQ(filter.redGain, 100);
  EXPECT_EQ(filter.greenGain, 100);
  EXPECT_EQ(filter.blueGain, 100);
  EXPECT_EQ(filter.gamma, 100);
  EXPECT_EQ(filter.bayerMode, 3);
  EXPECT_EQ(filter.autoWhiteBalance, 0);
  EXPECT_EQ(filter.autoGrayOnce, 0);

  GraySettings gray;
  gray.mode = 2;
  gray.gainG2 = 3;
  gray.offsetB = 50;
  EXPECT_EQ(loadGraySettings(0, gray), 0);
  EXPECT_EQ(gray.mode, 0);
  for (const int32_t gain : {gray.gainR, gray.gainG1, gray.gainG2, gray.gainB}) {
    EXPECT_EQ(gain, 128);
  }
  for (const int32_t offset : {gray.offsetR, gray.offsetG1, gray.offsetG2, gray.offsetB}) {
    EXPECT_EQ(offset, 0);
  }
}

TEST_F(ImageGroups, SavesWriteEveryValueAndLoadBackPerPosition) {
  FilterSettings filter{-255, 127, -360, 255, 30, 0, 400, 17, 200, 0, 1, 1};
  ASSERT_EQ(saveFilterSettings(5, filter), 1);
  GraySettings gray{1, 0, 255, 9, 10, -255, 255, -1, 1};
  ASSERT_EQ(saveGraySettings(5, gray), 1);

  FilterSettings loadedFilter;
  loadedFilter.autoWhiteBalance = 1;
  EXPECT_EQ(loadFilterSettings(5, loadedFilter), 1);
  EXPECT_EQ(loadedFilter.brightness, -255);
  EXPECT_EQ(loadedFilter.hue, -360);
  EXPECT_EQ(loadedFilter.blueGain, 17);
  EXPECT_EQ(loadedFilter.bayerMode, 0);
  EXPECT_EQ(loadedFilter.autoWhiteBalance, 1) << "not stored: kept while the key exists";
  GraySettings loadedGray;
  EXPECT_EQ(loadGraySettings(5, loadedGray), 1);
  EXPECT_EQ(loadedGray.offsetR, -255);
  EXPECT_EQ(loadedGray.offsetG2, -1);
  EXPECT_EQ(loadedGray.gainB, 10);

  EXPECT_EQ(platform::RegistryKey::open(cameraKeyPath(5) + "\\Filter")->valueNames().size(), 10u);
  EXPECT_EQ(platform::RegistryKey::open(cameraKeyPath(5) + "\\Gray")->valueNames().size(), 9u);
  GraySettings elsewhere;
  EXPECT_EQ(loadGraySettings(4, elsewhere), 0);
}

}  // namespace
}  // namespace nivexa::settings

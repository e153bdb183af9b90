// The numbered parameter space through the exports, against a virtual camera: every filter id in
// both directions, its range edges, what a refusal records and what reaches the camera.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "camera/ParameterTestSupport.h"

namespace nivexa::camera::test {
namespace {

using Codes = std::vector<LONG>;

// Sensor registers of the gain, gain mode, black level and the feature switch.
constexpr uint16_t kGainLow = 0x714;
constexpr uint16_t kGainHigh = 0x715;
constexpr uint16_t kGainMode = 0x710;
constexpr uint16_t kBlackLow = 0x7C0;
constexpr uint16_t kBlackHigh = 0x7C1;
constexpr uint16_t kFeatureValue = 0x020;
constexpr uint16_t kFeatureEnable = 0x040;
constexpr uint8_t kCoolerRegister = 151;

struct ObjectRow {
  LONG id;
  LONG minimum;
  LONG maximum;
  BOOL (*set)(LONG, LONG);
  LONG (*get)(LONG, BOOL*);
};

// The object-side ids with their named exports; ranges as the interface documents them.
const ObjectRow kObjectRows[] = {
    {1, -255, 255, Nivexa_SetBrightness, Nivexa_GetBrightness},
    {2, -127, 127, Nivexa_SetContrast, Nivexa_GetContrast},
    {3, -360, 360, Nivexa_SetHue, Nivexa_GetHue},
    {4, -255, 255, Nivexa_SetSaturation, Nivexa_GetSaturation},
    {5, 0, 30, Nivexa_SetSharpness, Nivexa_GetSharpness},
    {7, 0, 400, Nivexa_SetBayerGainRed, Nivexa_GetBayerGainRed},
    {8, 0, 400, Nivexa_SetBayerGainGreen, Nivexa_GetBayerGainGreen},
    {9, 0, 400, Nivexa_SetBayerGainBlue, Nivexa_GetBayerGainBlue},
    {11, 0, 200, Nivexa_SetGamma, Nivexa_GetGamma},
    {12, 0, 3, Nivexa_SetBayerMode, Nivexa_GetBayerMode},
    {19, 0, 2, Nivexa_SetGrayMode, Nivexa_GetGrayMode},
    {20, 0, 255, Nivexa_SetGrayGainR, Nivexa_GetGrayGainR},
    {21, 0, 255, Nivexa_SetGrayGainG1, Nivexa_GetGrayGainG1},
    {22, 0, 255, Nivexa_SetGrayGainG2, Nivexa_GetGrayGainG2},
    {23, 0, 255, Nivexa_SetGrayGainB, Nivexa_GetGrayGainB},
    {24, -255, 255, Nivexa_SetGrayOffsetR, Nivexa_GetGrayOffsetR},
    {25, -255, 255, Nivexa_SetGrayOffsetG1, Nivexa_GetGrayOffsetG1},
    {26, -255, 255, Nivexa_SetGrayOffsetG2, Nivexa_GetGrayOffsetG2},
    {27, -255, 255, Nivexa_SetGrayOffsetB, Nivexa_GetGrayOffsetB},
    {102, 0, 1, Nivexa_SetDotFilter, Nivexa_GetDotFilter},
    {103, 0, 1, Nivexa_SetMaskFilter, Nivexa_GetMaskFilter},
};

// In the order of their filter ids, 14 to 17.
constexpr std::atomic<int32_t> AnalogSettings::*kStoredColourGains[] = {
    &AnalogSettings::colourGainRed, &AnalogSettings::colourGainGreen1,
    &AnalogSettings::colourGainGreen2, &AnalogSettings::colourGainBlue};

using ObjectFilters = OpenCameraTest;

TEST_F(ObjectFilters, EveryIdTakesItsRangeAndRefusesOneBeyondEachEnd) {
  for (const ObjectRow& row : kObjectRows) {
    SCOPED_TRACE(testing::Message() << "filter id " << row.id);
    BOOL ok = 0;
    // The named setter and the generic getter meet at the same id, and the other way round.
    EXPECT_EQ(row.set(h_, row.minimum), 1);
    EXPECT_EQ(Nivexa_GetFilterValue(h_, row.id, &ok), row.minimum);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Nivexa_SetFilterValue(h_, row.id, row.maximum), 1);
    ok = 0;
    EXPECT_EQ(row.get(h_, &ok), row.maximum);
    EXPECT_EQ(ok, 1);
    EXPECT_TRUE(drainErrors(h_).empty());

    EXPECT_EQ(row.set(h_, row.maximum + 1), 0);
    EXPECT_EQ(drainErrors(h_), Codes{NIVEXA_ERR_ARGUMENT});
    EXPECT_EQ(Nivexa_SetFilterValue(h_, row.id, row.minimum - 1), 0);
    EXPECT_EQ(drainErrors(h_), Codes{NIVEXA_ERR_ARGUMENT});
    EXPECT_EQ(row.get(h_, &ok), row.maximum) << "a refused value changes nothing";
  }
  EXPECT_EQ(writesSeen(), 0u) << "object-side values never reach the camera";
}

TEST_F(ObjectFilters, NamedEdgeCases) {
  EXPECT_EQ(Nivexa_SetBrightness(h_, 255), 1);
  EXPECT_EQ(Nivexa_SetBrightness(h_, 256), 0);
  EXPECT_EQ(Nivexa_SetBrightness(h_, -255), 1);
  EXPECT_EQ(Nivexa_SetSharpness(h_, 31), 0);
  EXPECT_EQ(Nivexa_SetGamma(h_, 201), 0);
  EXPECT_EQ(drainErrors(h_), (Codes{9, 9, 9}));
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetBrightness(h_, &ok), -255);
}

TEST_F(ObjectFilters, PackedBayerGainsSplitIntoTheThreeGainsAndBack) {
  EXPECT_EQ(Nivexa_SetBayerGainRGB(h_, 0x302010), 1);
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetBayerGainRed(h_, &ok), 0x10);
  EXPECT_EQ(Nivexa_GetBayerGainGreen(h_, &ok), 0x20);
  EXPECT_EQ(Nivexa_GetBayerGainBlue(h_, &ok), 0x30);
  EXPECT_EQ(Nivexa_GetBayerGainRGB(h_, &ok), 0x302010);
  // The top byte is dropped and no range applies.
  EXPECT_EQ(Nivexa_SetBayerGainRGB(h_, static_cast<LONG>(0xFFFFFFFF)), 1);
  EXPECT_EQ(Nivexa_GetBayerGainRed(h_, &ok), 0xFF);
  EXPECT_EQ(Nivexa_GetBayerGainRGB(h_, &ok), 0xFFFFFF);
  // Gains above a byte read back packed by their low bytes only.
  EXPECT_EQ(Nivexa_SetBayerGainRed(h_, 400), 1);
  EXPECT_EQ(Nivexa_GetBayerGainRGB(h_, &ok), 0xFFFF00 | (400 & 0xFF));
  EXPECT_TRUE(drainErrors(h_).empty());
}

TEST_F(ObjectFilters, AutomaticWhiteBalanceIsStoredAsAFlag) {
  BOOL ok = 0;
  for (LONG value : {5, -1, INT_MIN}) {
    EXPECT_EQ(Nivexa_SetBayerGainAuto(h_, value), 1);
    EXPECT_EQ(Nivexa_GetBayerGainAuto(h_, &ok), 1) << value;
  }
  EXPECT_EQ(Nivexa_SetBayerGainAuto(h_, 0), 1);
  EXPECT_EQ(Nivexa_GetBayerGainAuto(h_, &ok), 0);
}

TEST_F(ObjectFilters, FirstRunValuesWithoutStoredSettings) {
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetBayerGainRed(h_, &ok), 100);
  EXPECT_EQ(Nivexa_GetGamma(h_, &ok), 100);
  EXPECT_EQ(Nivexa_GetBayerMode(h_, &ok), 3);
  EXPECT_EQ(Nivexa_GetGrayGainG2(h_, &ok), 128);
  EXPECT_EQ(Nivexa_GetGrayOffsetB(h_, &ok), 0) << "the neutral gray offset";
  EXPECT_EQ(Nivexa_GetBrightness(h_, &ok), 0);
}

using RefusedIds = OpenCameraTest;

TEST_F(RefusedIds, OneShotGrayGainCanBeRequestedButNotRead) {
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 28, 1), 1);
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 28, 0), 1);
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 28, 2), 0);
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 28, -1), 0);
  EXPECT_EQ(drainErrors(h_), (Codes{9, 9}));
  BOOL ok = 1;
  EXPECT_EQ(Nivexa_GetFilterValue(h_, 28, &ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(drainErrors(h_), Codes{9});
}

TEST_F(RefusedIds, ChannelsTemperatureAndUnknownIdsRefuseBothWays) {
  for (LONG id : {29, 32, 33, 36, 101, 0, -1, 37, 99, 107, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(testing::Message() << "filter id " << id);
    if (id != 101) {
      BOOL ok = 1;
      EXPECT_EQ(Nivexa_GetFilterValue(h_, id, &ok), 0);
      EXPECT_EQ(ok, 0);
      EXPECT_EQ(drainErrors(h_), Codes{9});
    }
    EXPECT_EQ(Nivexa_SetFilterValue(h_, id, 1), 0);
    EXPECT_EQ(drainErrors(h_), Codes{9});
  }
  BOOL ok = 1;
  EXPECT_EQ(Nivexa_GetChannelGain(h_, 4, &ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Nivexa_SetChannelOffset(h_, 1, 0), 0);
  EXPECT_EQ(drainErrors(h_), (Codes{9, 9}));
  EXPECT_EQ(writesSeen(), 0u);
}

TEST_F(RefusedIds, IntegerTemperatureNeverAnswersButTheDoubleOneDoes) {
  BOOL ok = 1;
  EXPECT_EQ(Nivexa_GetTemperature(h_, &ok), -1);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(drainErrors(h_), Codes{NIVEXA_ERR_UNSUPPORTED});
  ok = 0;
  double celsius = 0.0;
  EXPECT_EQ(recordedDuring(h_, [&] { celsius = Nivexa_GetTemperatureEx(h_, &ok); }),
            Codes{NIVEXA_OK})
      << "a successful read records code 0";
  EXPECT_EQ(ok, 1);
  EXPECT_NEAR(celsius, camera_->sensorTemperature(), 0.5);
}

using EngineFilters = OpenCameraTest;

TEST_F(EngineFilters, GlobalGainReachesTheSensorAndOverwritesTheColourGains) {
  for (LONG gain : {0, 1, 210, 420}) {
    SCOPED_TRACE(gain);
    EXPECT_EQ(Nivexa_SetGlobalGain(h_, gain), 1);
    BOOL ok = 0;
    EXPECT_EQ(Nivexa_GetGlobalGain(h_, &ok), gain);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(sensorWord(kGainLow, kGainHigh, 0x01), gain);
    for (auto colour : kStoredColourGains) {
      EXPECT_EQ((stored().*colour).load(), gain);
    }
    EXPECT_EQ(stored().globalGain.load(), gain);
  }
  EXPECT_TRUE(drainErrors(h_).empty());
  camera_->clearTrace();
  EXPECT_EQ(Nivexa_SetGlobalGain(h_, -1), 0);
  EXPECT_EQ(Nivexa_SetGlobalGain(h_, 421), 0);
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 13, INT_MIN), 0);
  EXPECT_EQ(drainErrors(h_), (Codes{9, 9, 9}));
  EXPECT_EQ(writesSeen(), 0u) << "a refused value never reaches the engine";
  EXPECT_EQ(stored().globalGain.load(), 420);
}

TEST_F(EngineFilters, ColourGainsOfThisMonochromeSensorAreUnsupportedAndNeverStored) {
  // The range the sensor reports is 0..0, yet even 0 is no colour gain it has: error 11, and the
  // stored gains stay those the global gain set.
  EXPECT_EQ(Nivexa_SetGlobalGain(h_, 200), 1);
  const std::vector<std::pair<BOOL (*)(LONG, LONG), LONG (*)(LONG, BOOL*)>> gains = {
      {Nivexa_SetColorGainRed, Nivexa_GetColorGainRed},
      {Nivexa_SetColorGainGreen1, Nivexa_GetColorGainGreen1},
      {Nivexa_SetColorGainGreen2, Nivexa_GetColorGainGreen2},
      {Nivexa_SetColorGainBlue, Nivexa_GetColorGainBlue}};
  for (size_t i = 0; i < gains.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(gains[i].first(h_, 1), 0);
    EXPECT_EQ(gains[i].first(h_, 0), 0);
    EXPECT_EQ(drainErrors(h_), (Codes{NIVEXA_ERR_UNSUPPORTED, NIVEXA_ERR_UNSUPPORTED}));
    EXPECT_EQ((stored().*kStoredColourGains[i]).load(), 200) << "refused: unchanged";
    BOOL ok = 0;
    EXPECT_EQ(gains[i].second(h_, &ok), 0);
    EXPECT_EQ(ok, 1);
  }
  EXPECT_EQ(stored().globalGain.load(), 200);
}

TEST_F(EngineFilters, ExposureTicksReachTheSensorAndRefreshTheSeconds) {
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_SetExposureTime(h_, 1000), 1);
  const double signalAt1000 = camera_->imageSettings().signalScale;
  EXPECT_EQ(Nivexa_SetExposureTime(h_, 2000), 1);
  const double signalAt2000 = camera_->imageSettings().signalScale;
  EXPECT_NEAR(signalAt2000 / signalAt1000, 2.0, 0.01) << "the sensor exposes twice as long";
  EXPECT_EQ(Nivexa_GetExposureTime(h_, &ok), 2000);
  EXPECT_EQ(stored().exposureTicks.load(), 2000);
  EXPECT_DOUBLE_EQ(stored().exposureSeconds.load(), 0.2);
  EXPECT_DOUBLE_EQ(Nivexa_GetExposureTimeEx(h_, &ok), 0.2);

  for (LONG ticks : {1, 20000}) {
    EXPECT_EQ(Nivexa_SetExposureTime(h_, ticks), 1);
    EXPECT_EQ(Nivexa_GetExposureTime(h_, &ok), ticks);
  }
  EXPECT_TRUE(drainErrors(h_).empty());
  camera_->clearTrace();
  EXPECT_EQ(Nivexa_SetExposureTime(h_, 0), 0);
  EXPECT_EQ(Nivexa_SetExposureTime(h_, 20001), 0);
  EXPECT_EQ(drainErrors(h_), (Codes{9, 9}));
  EXPECT_EQ(writesSeen(), 0u);
  EXPECT_EQ(Nivexa_GetExposureTime(h_, &ok), 20000);
}

TEST_F(EngineFilters, PeltierSwitchesTheCooler) {
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_SetPeltier(h_, 0), 1);
  EXPECT_EQ(camera_->fpgaRegister(kCoolerRegister) & 1, 0);
  EXPECT_EQ(Nivexa_GetPeltier(h_, &ok), 0);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Nivexa_SetPeltier(h_, 1), 1);
  EXPECT_EQ(camera_->fpgaRegister(kCoolerRegister) & 1, 1);
  EXPECT_EQ(Nivexa_GetPeltier(h_, &ok), 1);
  EXPECT_EQ(stored().cooling.load(), 1);
  EXPECT_TRUE(drainErrors(h_).empty());
}

TEST_F(EngineFilters, GainModeGoesStraightToTheSensorWithoutBeingStored) {
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 104, 1), 1);
  EXPECT_EQ(camera_->sensorRegister(kGainMode) & 1, 0) << "1 is low gain";
  EXPECT_EQ(Nivexa_GetFilterValue(h_, 104, &ok), 1);
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 104, 0), 1);
  EXPECT_EQ(camera_->sensorRegister(kGainMode) & 1, 1);
  EXPECT_EQ(Nivexa_GetFilterValue(h_, 104, &ok), 0);
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 104, 1), 1);
  EXPECT_EQ(stored().gainMode.load(), 0);
  // No range check of its own: the sensor refuses what it does not have, and nothing is recorded.
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 104, 2), 0);
  EXPECT_TRUE(drainErrors(h_).empty());
  EXPECT_EQ(Nivexa_GetFilterValue(h_, 104, &ok), 1);
}

TEST_F(EngineFilters, FeatureSwitchWritesBothRegistersAndRecordsSuccessOfReads) {
  BOOL ok = 0;
  EXPECT_TRUE(recordedDuring(h_, [&] { EXPECT_EQ(Nivexa_SetFilterValue(h_, 105, 7), 1); }).empty());
  EXPECT_EQ(camera_->sensorRegister(kFeatureValue), 0x50);
  EXPECT_EQ(camera_->sensorRegister(kFeatureEnable), 1);
  EXPECT_EQ(recordedDuring(h_, [&] { EXPECT_EQ(Nivexa_GetFilterValue(h_, 105, &ok), 1); }),
            Codes{NIVEXA_OK});
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 105, -3), 1) << "off for anything not above 0";
  EXPECT_EQ(camera_->sensorRegister(kFeatureValue), 0x5F);
  EXPECT_EQ(camera_->sensorRegister(kFeatureEnable), 0);
  EXPECT_EQ(Nivexa_GetFilterValue(h_, 105, &ok), 0);
  EXPECT_EQ(stored().featureSwitch.load(), 0);
}

TEST_F(EngineFilters, BlackLevelIsClampedBySensorAndRecordsSuccess) {
  BOOL ok = 0;
  EXPECT_EQ(recordedDuring(h_, [&] { EXPECT_EQ(Nivexa_SetFilterValue(h_, 106, 100), 1); }),
            Codes{NIVEXA_OK});
  EXPECT_EQ(sensorWord(kBlackLow, kBlackHigh, 0x0F), 100);
  EXPECT_EQ(recordedDuring(h_, [&] { EXPECT_EQ(Nivexa_GetFilterValue(h_, 106, &ok), 100); }),
            Codes{NIVEXA_OK});
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 106, 5000), 1);
  EXPECT_EQ(sensorWord(kBlackLow, kBlackHigh, 0x0F), 4095);
  EXPECT_EQ(stored().blackLevel.load(), 4095) << "the stored level is the one in effect";
  EXPECT_EQ(camera_->imageSettings().blackLevel, 4095);
}

TEST_F(EngineFilters, DeviceCommandFailuresRecordErrorSix) {
  camera_->unplug();
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 106, 100), 0);
  EXPECT_EQ(Nivexa_SetFilterValue(h_, 105, 1), 0);
  EXPECT_EQ(Nivexa_SetGlobalGain(h_, 10), 0);
  EXPECT_EQ(drainErrors(h_), (Codes{6, 6, 6}));
  EXPECT_EQ(stored().globalGain.load(), 10) << "re-applied when the device is opened again";
  camera_->replug();
}

using EngineFiltersWithoutDevice = NoCameraTest;

TEST_F(EngineFiltersWithoutDevice, RangesAreThoseOfNoSensorAndFeaturesAreUnsupported) {
  BOOL ok = 1;
  EXPECT_EQ(Nivexa_GetPeltier(h_, &ok), -1);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Nivexa_SetPeltier(h_, 1), 0);
  EXPECT_EQ(drainErrors(h_), (Codes{11, 11}));
  for (LONG id : {105, 106}) {
    ok = 1;
    EXPECT_EQ(Nivexa_GetFilterValue(h_, id, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Nivexa_SetFilterValue(h_, id, 1), 0);
    EXPECT_EQ(drainErrors(h_), (Codes{11, 11}));
  }
  EXPECT_EQ(Nivexa_GetFilterValue(h_, 104, &ok), -1) << "no sensor, no gain mode";
  EXPECT_EQ(Nivexa_SetExposureTime(h_, 1), 0);
  EXPECT_EQ(drainErrors(h_), Codes{9}) << "no sensor: the exposure range is 0..0";
  EXPECT_EQ(Nivexa_SetGlobalGain(h_, 0), 0);
  EXPECT_EQ(drainErrors(h_), Codes{6}) << "in the empty range, but nothing takes it";
  // Object-side values do not need a device.
  EXPECT_EQ(Nivexa_SetContrast(h_, 5), 1);
  EXPECT_EQ(Nivexa_GetContrast(h_, &ok), 5);
}

}  // namespace
}  // namespace nivexa::camera::test

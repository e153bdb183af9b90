#include <gtest/gtest.h>

#include "sensors/CSensorIMX990.h"
#include "sensors/CSensorIMX991.h"
#include "sensors/CSensorIMX992.h"
#include "sensors/FakeController.h"
#include "sensors/TraceFormat.h"

namespace nivexa::sensors {
namespace {

using test::FakeController;
using Writes = std::vector<std::pair<uint16_t, uint8_t>>;

int frameLengthOf(const FakeController& fake) {
  return fake.sensor_.at(0x2D4) | fake.sensor_.at(0x2D5) << 8 | fake.sensor_.at(0x2D6) << 16;
}
int shutterOf(const FakeController& fake) {
  return fake.sensor_.at(0x440) | fake.sensor_.at(0x441) << 8 | fake.sensor_.at(0x442) << 16;
}
bool wrote(const FakeController& fake, uint16_t address) {
  for (const auto& w : fake.sensorWrites()) {
    if (w.first == address) {
      return true;
    }
  }
  return false;
}

TEST(Imx992, VariantsGeometryAndWindowTable) {
  FakeController fake;
  CSensorIMX992 sensor(&fake, 72);
  EXPECT_EQ(sensor.SetVariant(132), 0);
  EXPECT_EQ(sensor.SetVariant(130), 1);
  EXPECT_EQ(sensor.info().orientation, 1);
  EXPECT_EQ(sensor.HasCooling(), 1);
  EXPECT_EQ(sensor.GetModeWord(), 0);
  EXPECT_EQ(sensor.info().arrayWidth, 2560);
  EXPECT_EQ(sensor.info().linesMax, 16777177);
  EXPECT_EQ(sensor.BlackLevelSupported(), 0);
  EXPECT_EQ(sensor.SetBlackLevel(100), 0);
  EXPECT_EQ(sensor.FeatureSwitchSupported(), 0);
  EXPECT_EQ(sensor.HasGainMode(), 1);

  ASSERT_EQ(sensor.SetReadoutWindow(0, 2560, 0, 2048, 0), 1);
  EXPECT_EQ(frameLengthOf(fake), 2140);
  EXPECT_FALSE(wrote(fake, 0x430)) << "no drive-control step on this chip";
  ASSERT_EQ(sensor.SetReadoutWindow(0, 1024, 0, 768, 0), 1);
  EXPECT_EQ(frameLengthOf(fake), 852);
  ASSERT_EQ(sensor.SetReadoutWindow(0, 2560, 0, 2048, 1), 1);
  EXPECT_EQ(frameLengthOf(fake), 1116);
  EXPECT_EQ(sensor.info().outputWidth, 1280);
  EXPECT_EQ(sensor.SetReadoutWindow(0, 2568, 0, 2048, 0), 0);
}

TEST(Imx992, DefaultsSkipBlackLevelAndUseItsOwnFpgaTiming) {
  FakeController fake;
  CSensorIMX992 sensor(&fake, 72);
  sensor.SetVariant(130);
  ASSERT_EQ(sensor.ApplyDefaults(), 1);
  const auto trace = test::programTrace(fake);
  ASSERT_GE(trace.size(), 3u);
  EXPECT_EQ(trace[0], "S 0x702=0x00");
  EXPECT_EQ(trace[1], "S 0x714=0x00");
  EXPECT_FALSE(wrote(fake, 0x7C0));
  EXPECT_EQ(fake.fpga_[80], 43);
  EXPECT_EQ(fake.fpga_[81], 8);
  EXPECT_EQ(fake.fpga_[82], 0);
}

TEST(Imx992, ExposureConversionHasNoOffset) {
  FakeController fake;
  CSensorIMX992 sensor(&fake, 72);
  sensor.SetReadoutWindow(0, 2560, 0, 2048, 0);
  sensor.SetOutputDepth(0);
  // 10000 us / 6.5212 us = 1533 lines; F 2140, S 608.
  ASSERT_EQ(sensor.SetExposureSeconds(0.010), 1);
  EXPECT_EQ(frameLengthOf(fake), 2140);
  EXPECT_EQ(shutterOf(fake), 608);
  EXPECT_EQ(sensor.GetExposureLines(), 1532);
}

TEST(Imx992, TriggerModePrimesTheFpgaPulseAndRestoresTheExposure) {
  FakeController fake;
  CSensorIMX992 sensor(&fake, 72);
  sensor.SetReadoutWindow(0, 2560, 0, 2048, 0);
  sensor.SetOutputDepth(0);
  sensor.SetExposureSeconds(0.010);
  fake.clear();
  ASSERT_EQ(sensor.SetTriggerMode(1), 1);
  Writes pulse;
  for (const auto& w : fake.fpgaWrites()) {
    if (w.first == 89) {
      pulse.push_back(w);
    }
  }
  EXPECT_EQ(pulse, (Writes{{89, 4}, {89, 132}, {89, 4}, {89, 0}}));
  EXPECT_EQ(sensor.GetExposureLines(), 1532);
  EXPECT_EQ(fake.fpga_[88], 2);
  EXPECT_TRUE(wrote(fake, 0x432));
  EXPECT_EQ(fake.fpga_[108], 0) << "frame restart pulsed and released";

  fake.clear();
  ASSERT_EQ(sensor.SetTriggerMode(0), 1);
  EXPECT_EQ(fake.fpga_[88], 0);
  EXPECT_EQ(fake.sensorWrites(),
            (Writes{{0x200, 1}, {0x20C, 1}, {0x430, 41}, {0x600, 0}, {0x200, 0}}));
}

TEST(Imx990, DefaultsFollowTheFpgaClocking) {
  for (const bool fast : {false, true}) {
    FakeController fake;
    fake.setVersion(fast ? 0x4001 : 0x0001);
    CSensorIMX990 sensor(&fake, 72);
    EXPECT_EQ(sensor.info().outputDepth, 8);
    EXPECT_EQ(sensor.SetVariant(110), 1);
    ASSERT_EQ(sensor.ApplyDefaults(), 1);
    const auto trace = test::programTrace(fake);
    EXPECT_EQ(trace[0], "S 0x702=0x00");
    EXPECT_EQ(trace[1], fast ? "S 0x7C0=0x0F" : "S 0x7C0=0x3C");
    EXPECT_EQ(trace[2], "S 0x7C1=0x00");
    EXPECT_DOUBLE_EQ(sensor.info().secondsMin, fast ? 0.000014252 : 0.000020333);
    EXPECT_EQ(sensor.GetExposureLines(), 1064);
    EXPECT_EQ(frameLengthOf(fake), 1079) << "1064 lines exceed 1048 - 15";
  }
}

TEST(Imx990, ExposureInNanosecondsWithAFifteenLineMargin) {
  FakeController fake;
  CSensorIMX990 sensor(&fake, 72);
  ASSERT_EQ(sensor.SetReadoutWindow(0, 1280, 0, 1024, 0), 1);
  ASSERT_EQ(sensor.SetExposureLines(500), 1);
  EXPECT_EQ(frameLengthOf(fake), 1048);
  EXPECT_EQ(shutterOf(fake), 548);
  EXPECT_EQ(sensor.GetExposureLines(), 500);
  EXPECT_EQ(sensor.framePeriodMs(), 13);
  EXPECT_EQ(fake.fpga_[133], 0) << "free run: the FPGA copy is not refreshed";

  // Slow clocking with a full-height window: (10 ms - 7372 ns) / 12959.94 ns = 771 lines.
  ASSERT_EQ(sensor.SetExposureSeconds(0.010), 1);
  EXPECT_EQ(sensor.GetExposureLines(), 771);
  EXPECT_EQ(shutterOf(fake), 1048 - 771);
}

TEST(Imx990, CoolingWritesTheRegisterWhole) {
  FakeController fake;
  CSensorIMX990 sensor(&fake, 72);
  EXPECT_EQ(sensor.SetCooling(1), 0) << "uncooled until the variant says otherwise";
  sensor.SetVariant(110);
  fake.fpga_[151] = 0x06;
  ASSERT_EQ(sensor.SetCooling(1), 1);
  EXPECT_EQ(fake.fpga_[151], 1);
  ASSERT_EQ(sensor.SetCooling(0), 1);
  EXPECT_EQ(fake.fpga_[151], 0);
  EXPECT_EQ(sensor.HasGainMode(), 0);
  EXPECT_EQ(sensor.GetGainMode(), -1);
}

TEST(Imx991, TemperaturePathDependsOnTheOlderVersionThreshold) {
  for (const uint16_t version : {uint16_t{32803}, uint16_t{32804}}) {
    FakeController fake;
    fake.setVersion(version);
    fake.fpga_[229] = 0xC8;
    fake.sensor_[0x690] = 0x10;
    CSensorIMX991 sensor(&fake, 72);
    double celsius = 0;
    ASSERT_EQ(sensor.ReadTemperature(&celsius), 1);
    EXPECT_DOUBLE_EQ(celsius, version > 32803 ? 25.0 : 2.0);
  }
}

TEST(Imx991, OnlyTheFullReadoutModeIsOffered) {
  FakeController fake;
  CSensorIMX991 sensor(&fake, 72);
  EXPECT_EQ(sensor.SetVariant(112), 1);
  EXPECT_EQ(sensor.info().arrayWidth, 640);
  EXPECT_EQ(sensor.SetReadoutWindow(0, 640, 0, 512, 1), 0);
  EXPECT_EQ(sensor.SetReadoutWindow(0, 640, 0, 512, 17), 0);
  ASSERT_EQ(sensor.SetReadoutWindow(0, 320, 0, 256, 0), 1);
  EXPECT_EQ(frameLengthOf(fake), 280);
  EXPECT_EQ(sensor.info().frameLength, 280);
  EXPECT_FALSE(wrote(fake, 0x2D8)) << "the line length registers are left alone";
}

}  // namespace
}  // namespace nivexa::sensors

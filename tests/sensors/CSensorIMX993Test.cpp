#include "sensors/CSensorIMX993.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sensors/FakeController.h"
#include "sensors/TraceFormat.h"

namespace nivexa::sensors {
namespace {

using test::FakeController;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Writes = std::vector<std::pair<uint16_t, uint8_t>>;

class Imx993 : public ::testing::Test {
 protected:
  Imx993() {
    fake.sensor_[0x430] = 0x01;
    sensor.SetVariant(132);
  }
  // The writes to the given sensor registers, in order.
  Writes writesTo(std::initializer_list<uint16_t> addresses) const {
    Writes out;
    for (const auto& w : fake.sensorWrites()) {
      for (uint16_t a : addresses) {
        if (w.first == a) {
          out.push_back(w);
        }
      }
    }
    return out;
  }
  int frameLength() const {
    return fake.sensor_.at(0x2D4) | fake.sensor_.at(0x2D5) << 8 | fake.sensor_.at(0x2D6) << 16;
  }
  int shutter() const {
    return fake.sensor_.at(0x440) | fake.sensor_.at(0x441) << 8 | fake.sensor_.at(0x442) << 16;
  }

  FakeController fake;
  CSensorIMX993 sensor{&fake, 72};
};

TEST_F(Imx993, ConstructionFillsSensorInfoAndVariantsChooseOrientation) {
  const SensorInfo& s = sensor.info();
  EXPECT_EQ(s.arrayWidth, 2048);
  EXPECT_EQ(s.arrayHeight, 1536);
  EXPECT_EQ(s.monochrome, 1);
  EXPECT_EQ(s.lineLength, 2080);
  EXPECT_EQ(s.frameLength, 1628);
  EXPECT_EQ(s.gainMax, 420);
  EXPECT_EQ(s.linesMax, 0xFFFFCB);
  EXPECT_EQ(s.linesCurrent, 1576);
  EXPECT_EQ(s.ticksCurrent, 102);
  EXPECT_EQ(s.blackLevelCurrent, 240);
  EXPECT_EQ(s.featureSupported, 1);
  EXPECT_DOUBLE_EQ(s.secondsMin, 0.000027842);
  EXPECT_DOUBLE_EQ(s.secondsCurrent, 0.010290322);
  EXPECT_EQ(s.outputDepth, 0);
  EXPECT_EQ(s.sensorClock, 54545);
  EXPECT_EQ(sensor.GetModeWord(), 15);
  EXPECT_EQ(s.orientation, 1);
  EXPECT_EQ(sensor.HasCooling(), 1);

  CSensorIMX993 uncooled(&fake, 72);
  EXPECT_EQ(uncooled.info().orientation, 4);
  uncooled.SetVariant(131);
  EXPECT_EQ(uncooled.info().orientation, 4);
  EXPECT_EQ(uncooled.HasCooling(), 0);
  int on = -1;
  EXPECT_EQ(uncooled.GetCooling(&on), 0);
  EXPECT_EQ(uncooled.SetCooling(1), 0);
  EXPECT_EQ(uncooled.SetVariant(130), 0);
  EXPECT_EQ(uncooled.variantCode(), 131);
  EXPECT_EQ(uncooled.AcceptsColourFormats(), 0);
  EXPECT_EQ(uncooled.AcceptsMonochromeFormats(), 1);
}

TEST_F(Imx993, ApplyDefaultsProgramsTheDocumentedOpenSequence) {
  ASSERT_EQ(sensor.PreInitCheck(), 1);
  ASSERT_EQ(sensor.ApplyDefaults(), 1);
  EXPECT_THAT(test::programTrace(fake),
              ElementsAreArray<std::string>({
                  "S 0x702=0x00", "S 0x7C0=0xF0", "S 0x7C1=0x00", "R 0x720",      "R 0x740",
                  "S 0x714=0x00", "S 0x715=0x00", "S 0x2D6=0x00", "S 0x2D5=0x06", "S 0x2D4=0x5C",
                  "S 0x440=0x36", "S 0x441=0x00", "S 0x442=0x00", "F 133=38",     "F 134=6",
                  "F 155=0",      "F 84=100",     "F 85=1",       "F 80=51",      "F 81=6",
                  "F 82=0",       "S 0x404=0x00", "F 76=112",     "F 77=0",       "S 0x404=0x00",
                  "S 0x23C=0x00", "S 0x304=0x00", "S 0x400=0x24", "R 0x430",      "S 0x430=0x29",
                  "S 0x431=0x00", "F 90=0",       "S 0x320=0x00", "S 0x321=0x00", "S 0x322=0x00",
                  "S 0x323=0x00", "S 0x324=0x00", "S 0x325=0x08", "S 0x326=0x00", "S 0x327=0x06",
                  "S 0x2D4=0x5C", "S 0x2D5=0x06", "S 0x2D6=0x00", "S 0x200=0x01", "S 0x20C=0x01",
                  "S 0x2D8=0xD2", "S 0x2D9=0x03", "S 0x200=0x00", "S 0x20C=0x00",
              }));
  // Every sensor access of the sequence went through the FPGA's bus hand-over.
  for (const auto& e : fake.trace()) {
    if (e.kind == FakeController::Kind::SensorWrite || e.kind == FakeController::Kind::SensorRead) {
      EXPECT_TRUE(e.busHeld) << "sensor register 0x" << std::hex << e.address;
    }
  }
  EXPECT_EQ(fake.fpga_[0x9F], 0);
  EXPECT_EQ(sensor.info().linesCurrent, 1574);
  // 1628 lines of the wide line (978 clocks) the sequence ends with: the period follows the
  // line length programmed after the exposure, not the one the exposure was programmed under.
  EXPECT_EQ(sensor.framePeriodMs(), 21);
}

TEST_F(Imx993, ApplyDefaultsTakesTheFeatureSwitchOnlyFromAConsistentPair) {
  fake.sensor_[0x720] = 0x50;
  fake.sensor_[0x740] = 1;
  sensor.ApplyDefaults();
  EXPECT_EQ(sensor.info().featureCurrent, 1);
  fake.sensor_[0x720] = 0x5F;  // says off, enable still says on: not trusted
  sensor.ApplyDefaults();
  EXPECT_EQ(sensor.info().featureCurrent, 1);
  fake.sensor_[0x740] = 0;
  sensor.ApplyDefaults();
  EXPECT_EQ(sensor.info().featureCurrent, 0);

  fake.clear();
  ASSERT_EQ(sensor.SetFeatureSwitch(1), 1);
  EXPECT_EQ(fake.sensorWrites(), (Writes{{0x020, 0x50}, {0x040, 1}}));
  fake.failSensorWrites_.insert(0x040);
  EXPECT_EQ(sensor.SetFeatureSwitch(0), 0);
  EXPECT_EQ(sensor.info().featureCurrent, 1);
}

TEST_F(Imx993, WindowValidation) {
  fake.clear();
  EXPECT_EQ(sensor.SetReadoutWindow(4, 64, 0, 64, 0), 0) << "x not a multiple of 8";
  EXPECT_EQ(sensor.SetReadoutWindow(0, 64, 2, 64, 0), 0) << "y not a multiple of 4";
  EXPECT_EQ(sensor.SetReadoutWindow(0, 60, 0, 64, 0), 0) << "width not a multiple of 8";
  EXPECT_EQ(sensor.SetReadoutWindow(8, 2048, 0, 1536, 0), 0) << "beyond the array";
  EXPECT_EQ(sensor.SetReadoutWindow(0, 2048, 4, 1536, 0), 0) << "beyond the array";
  EXPECT_EQ(sensor.SetReadoutWindow(8, 2048, 0, 1536, 1), 0) << "mode 1 starts at 0";
  EXPECT_EQ(sensor.SetReadoutWindow(0, 1000, 0, 768, 17), 0) << "mode 17 needs multiples of 32";
  EXPECT_EQ(sensor.SetReadoutWindow(0, 1024, 0, 768, 2), 0) << "unknown mode";
  EXPECT_EQ(sensor.SetReadoutWindow(-8, 64, 0, 64, 0), 0) << "negative origin";
  EXPECT_EQ(sensor.SetReadoutWindow(0, 0, 0, 64, 0), 0) << "empty window";
  EXPECT_TRUE(fake.trace().empty()) << "a rejected window writes nothing";
  EXPECT_EQ(sensor.info().outputWidth, 2048);
}

TEST_F(Imx993, WindowFrameLengthsAndCropBits) {
  ASSERT_EQ(sensor.SetReadoutWindow(0, 2048, 0, 1536, 0), 1);
  EXPECT_EQ(frameLength(), 1628);
  EXPECT_EQ(fake.sensor_.at(0x304), 0);

  fake.clear();
  ASSERT_EQ(sensor.SetReadoutWindow(0, 1024, 0, 768, 0), 1);
  EXPECT_EQ(fake.sensor_.at(0x304), 3);
  EXPECT_EQ(frameLength(), 852);
  EXPECT_EQ(sensor.info().outputWidth, 1024);
  EXPECT_EQ(sensor.info().outputHeight, 768);
  // Same mode and depth: no standby around the mode registers.
  EXPECT_TRUE(writesTo({0x200}).empty());

  ASSERT_EQ(sensor.SetReadoutWindow(8, 2040, 4, 1532, 0), 1);
  EXPECT_EQ(fake.sensor_.at(0x320), 8);
  EXPECT_EQ(fake.sensor_.at(0x322), 4);
  EXPECT_EQ(fake.sensor_.at(0x324) | fake.sensor_.at(0x325) << 8, 2040);
  EXPECT_EQ(fake.sensor_.at(0x326) | fake.sensor_.at(0x327) << 8, 1532);
}

TEST_F(Imx993, ReducedReadoutModes) {
  fake.clear();
  ASSERT_EQ(sensor.SetReadoutWindow(0, 2048, 0, 1536, 1), 1);
  EXPECT_EQ(sensor.info().outputWidth, 1024);
  EXPECT_EQ(sensor.info().outputHeight, 768);
  EXPECT_EQ(sensor.info().readoutMode, 1);
  EXPECT_EQ(fake.sensor_.at(0x322), 4) << "window y = 4";
  EXPECT_EQ(fake.sensor_.at(0x23C), 17);
  EXPECT_EQ(fake.sensor_.at(0x400), 36);
  EXPECT_EQ(fake.fpga_[90], 1);
  EXPECT_EQ(frameLength(), 860);
  // A mode change is made in standby.
  EXPECT_EQ(writesTo({0x200, 0x20C}).front(), (std::pair<uint16_t, uint8_t>{0x200, 1}));

  int x = -1, w = -1, y = -1, h = -1, mode = -1;
  ASSERT_EQ(sensor.GetReadoutWindow(&x, &w, &y, &h, &mode), 1);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(mode, 1);

  ASSERT_EQ(sensor.SetReadoutWindow(0, 2048, 0, 1536, 17), 1);
  EXPECT_EQ(fake.sensor_.at(0x400), 172);
  EXPECT_EQ(fake.sensor_.at(0x23C), 0);
  EXPECT_EQ(fake.fpga_[90], 2);
  EXPECT_EQ(frameLength(), 1628);
}

TEST_F(Imx993, OutputDepthKeepsTheReducedModeOutputSize) {
  ASSERT_EQ(sensor.SetReadoutWindow(0, 2048, 0, 1536, 1), 1);
  ASSERT_EQ(sensor.SetOutputDepth(1), 1);
  EXPECT_EQ(sensor.info().outputDepth, 16);
  EXPECT_EQ(sensor.info().outputWidth, 1024);
  EXPECT_EQ(sensor.info().outputHeight, 768);
  EXPECT_EQ(fake.sensor_.at(0x2D8) | fake.sensor_.at(0x2D9) << 8, 489) << "mode 1 keeps 489";
  EXPECT_NEAR(sensor.info().secondsMin, 2 * 6.5212 / 1e6, 1e-9) << "minimum of the real line";

  ASSERT_EQ(sensor.SetReadoutWindow(0, 2048, 0, 1536, 0), 1);
  EXPECT_EQ(fake.sensor_.at(0x2D8) | fake.sensor_.at(0x2D9) << 8, 978);
  ASSERT_EQ(sensor.SetOutputDepth(1), 1);
  EXPECT_NEAR(sensor.info().secondsMin, 2 * 13.0424 / 1e6, 1e-9);
  ASSERT_EQ(sensor.SetOutputDepth(0), 1);
  EXPECT_EQ(fake.sensor_.at(0x2D8) | fake.sensor_.at(0x2D9) << 8, 489);
  EXPECT_NEAR(sensor.info().secondsMin, 2 * 6.5212 / 1e6, 1e-9);
  EXPECT_EQ(sensor.info().outputDepth, 8);
  EXPECT_EQ(sensor.info().outputWidth, 2048);
}

TEST_F(Imx993, OutputDepthChangeEntersStandbyOncePerDriver) {
  // Two drivers in one process: one camera's depth change must not hide the other's.
  FakeController otherFake;
  otherFake.sensor_[0x430] = 1;
  CSensorIMX993 other(&otherFake, 72);
  sensor.SetOutputDepth(0);
  other.SetOutputDepth(0);
  sensor.SetOutputDepth(1);
  otherFake.clear();
  other.SetOutputDepth(1);
  // Line length change and the window's depth change each bracket their writes in standby.
  int enters = 0;
  for (const auto& w : otherFake.sensorWrites()) {
    enters += w.first == 0x200 && w.second == 1;
  }
  EXPECT_EQ(enters, 2);
}

TEST_F(Imx993, ExposureWorkedExamples) {
  // As constructed: line length 489, base frame length 1628.
  ASSERT_NEAR(sensor.lineTimeUs(), 6.5212, 1e-4);

  ASSERT_EQ(sensor.SetExposureSeconds(0.010), 1);
  EXPECT_EQ(frameLength(), 1628);
  EXPECT_EQ(shutter(), 98);
  EXPECT_EQ(sensor.GetExposureLines(), 1530);
  EXPECT_EQ(sensor.framePeriodMs(), 10);
  EXPECT_EQ(sensor.GetExposureTicks(), 100);

  fake.clear();
  ASSERT_EQ(sensor.SetExposureSeconds(0.020), 1);
  EXPECT_EQ(frameLength(), 3116);
  EXPECT_EQ(shutter(), 52);
  EXPECT_EQ(sensor.GetExposureLines(), 3064);
  EXPECT_EQ(sensor.framePeriodMs(), 20);
  EXPECT_EQ(fake.fpga_[133] | fake.fpga_[134] << 8 | fake.fpga_[155] << 16, 3064);
  // Growing the frame: high byte 0 and middle byte not smaller, so high, middle, low.
  EXPECT_EQ(writesTo({0x2D4, 0x2D5, 0x2D6}), (Writes{{0x2D6, 0}, {0x2D5, 0x0C}, {0x2D4, 0x2C}}));

  fake.clear();
  ASSERT_EQ(sensor.SetExposureSeconds(0.0), 1) << "clamped to the minimum, 1 line, then 2";
  EXPECT_EQ(sensor.GetExposureLines(), 2);
  EXPECT_EQ(frameLength(), 1628);
  EXPECT_EQ(shutter(), 1626);
  // Shrinking the frame: the middle byte goes first so no larger value appears on the way.
  EXPECT_EQ(writesTo({0x2D4, 0x2D5, 0x2D6}), (Writes{{0x2D5, 0x06}, {0x2D6, 0}, {0x2D4, 0x5C}}));
  double seconds = 0;
  EXPECT_EQ(sensor.GetExposureSecondsCurrent(&seconds), 1);
  EXPECT_DOUBLE_EQ(seconds, 0.000027842);
}

TEST_F(Imx993, LongestExposureKeepsTheFrameLengthInItsRegister) {
  fake.clear();
  ASSERT_EQ(sensor.SetExposureLines(20'000'000), 1);
  EXPECT_EQ(frameLength(), 0xFFFFFE);
  EXPECT_EQ(shutter(), 52);
  EXPECT_EQ(sensor.GetExposureLines(), 0xFFFFFE - 52);
  // High byte nonzero: written first.
  EXPECT_EQ(writesTo({0x2D4, 0x2D5, 0x2D6}), (Writes{{0x2D6, 0xFF}, {0x2D5, 0xFF}, {0x2D4, 0xFE}}));
}

TEST_F(Imx993, ExposureTicksAreClamped) {
  sensor.SetOutputDepth(0);
  ASSERT_EQ(sensor.SetExposureTicks(0), 1);
  EXPECT_EQ(sensor.GetExposureTicks(), 1);
  EXPECT_EQ(sensor.GetExposureLines(), 12) << "100 us -> 13 lines: F 1628, S 1616";
  ASSERT_EQ(sensor.SetExposureTicks(30000), 1);
  EXPECT_EQ(sensor.GetExposureTicks(), 20000);
  double seconds = 0;
  EXPECT_EQ(sensor.GetExposureSecondsCurrent(&seconds), 1);
  EXPECT_DOUBLE_EQ(seconds, 2.0);
}

TEST_F(Imx993, FailedExposureWriteKeepsLinesButRefreshesTheFpgaCopy) {
  sensor.SetOutputDepth(0);
  ASSERT_EQ(sensor.SetExposureSeconds(0.010), 1);
  fake.clear();
  fake.failSensorWrites_.insert(0x441);
  EXPECT_EQ(sensor.SetExposureSeconds(0.005), 0);
  EXPECT_EQ(sensor.GetExposureLines(), 1530);
  EXPECT_EQ(fake.fpga_[133] | fake.fpga_[134] << 8, 1530);
  EXPECT_EQ(writesTo({0x442}).size(), 0u) << "the sequence ends at the first failure";
  double seconds = 0;
  sensor.GetExposureSecondsCurrent(&seconds);
  EXPECT_DOUBLE_EQ(seconds, 0.010);
}

TEST_F(Imx993, GainAndBlackLevelAreClamped) {
  ASSERT_EQ(sensor.SetAnalogGain(500), 1);
  EXPECT_EQ(fake.sensorWrites(), (Writes{{0x714, 0xA4}, {0x715, 1}}));
  EXPECT_EQ(sensor.GetAnalogGain(), 420);

  fake.clear();
  ASSERT_EQ(sensor.SetBlackLevel(5000), 1);
  EXPECT_EQ(fake.sensorWrites(), (Writes{{0x7C0, 0xFF}, {0x7C1, 0x0F}}));
  int level = 0;
  EXPECT_EQ(sensor.GetBlackLevel(&level), 1);
  EXPECT_EQ(level, 4095);

  fake.failSensorWrites_.insert(0x715);
  EXPECT_EQ(sensor.SetAnalogGain(100), 0);
  EXPECT_EQ(sensor.GetAnalogGain(), 420) << "a failed write keeps the stored value";
}

TEST_F(Imx993, MirrorsShareOneRegisterAndMoveTheFpgaOffset) {
  ASSERT_EQ(sensor.SetMirrorV(1), 1);
  ASSERT_EQ(sensor.SetMirrorH(1), 1);
  EXPECT_EQ(fake.sensor_.at(0x404), 3);
  EXPECT_EQ(fake.fpga_[76], 16);
  ASSERT_EQ(sensor.SetMirrorV(0), 1);
  EXPECT_EQ(fake.sensor_.at(0x404), 2);
  EXPECT_EQ(sensor.GetMirrorH(), 1);
  EXPECT_EQ(sensor.GetMirrorV(), 0);
  sensor.SetReadoutWindow(0, 2048, 0, 1536, 1);
  sensor.SetMirrorH(0);
  EXPECT_EQ(fake.fpga_[76], 52);
  sensor.SetMirrorH(1);
  EXPECT_EQ(fake.fpga_[76], 8);
  EXPECT_EQ(fake.fpga_[77], 0);
}

TEST_F(Imx993, TemperatureFromTheFpgaCopy) {
  fake.setVersion(261);
  double celsius = 99;
  fake.fpga_[229] = 0xC8;
  fake.fpga_[230] = 0x00;
  ASSERT_EQ(sensor.ReadTemperature(&celsius), 1);
  EXPECT_DOUBLE_EQ(celsius, 25.0);
  fake.fpga_[229] = 0xF8;
  fake.fpga_[230] = 0xFF;  // high nibble only: bits above 11 are ignored
  sensor.ReadTemperature(&celsius);
  EXPECT_DOUBLE_EQ(celsius, -1.0);
  fake.fpga_[229] = 0x01;
  fake.fpga_[230] = 0x00;
  sensor.ReadTemperature(&celsius);
  EXPECT_DOUBLE_EQ(celsius, 0.125);
  EXPECT_EQ(sensor.ReadTemperature(nullptr), 0);

  // Not sampled yet: five tries, then 0.0 and still success.
  fake.fpga_[229] = 0;
  fake.clear();
  ASSERT_EQ(sensor.ReadTemperature(&celsius), 1);
  EXPECT_DOUBLE_EQ(celsius, 0.0);
  EXPECT_EQ(fake.trace().size(), 10u);
}

TEST_F(Imx993, TemperatureFromTheSensorWithAnOlderFpga) {
  fake.setVersion(260);
  fake.sensor_[0x788] = 0x40;
  fake.sensor_[0x690] = 0xF8;
  fake.sensor_[0x691] = 0x0F;
  double celsius = 0;
  ASSERT_EQ(sensor.ReadTemperature(&celsius), 1);
  EXPECT_DOUBLE_EQ(celsius, -1.0);
  EXPECT_THAT(test::programTrace(fake),
              ElementsAre("R 0x788", "S 0x788=0x41", "R 0x690", "R 0x691", "S 0x788=0x40"));
  for (const auto& e : fake.trace()) {
    if (e.kind == FakeController::Kind::SensorWrite) {
      EXPECT_FALSE(e.busHeld) << "the latch is handled with raw access";
    }
  }
}

TEST_F(Imx993, CoolingIsAReadModifyWriteOfBitZero) {
  fake.fpga_[151] = 0x06;
  ASSERT_EQ(sensor.SetCooling(1), 1);
  EXPECT_EQ(fake.fpga_[151], 0x07);
  int on = 0;
  EXPECT_EQ(sensor.GetCooling(&on), 1);
  EXPECT_EQ(on, 1);
  ASSERT_EQ(sensor.SetCooling(0), 1);
  EXPECT_EQ(fake.fpga_[151], 0x06);
  EXPECT_EQ(sensor.GetCooling(&on), 0);
  fake.failFpgaReads_.insert(151);
  fake.clear();
  EXPECT_EQ(sensor.SetCooling(1), 0);
  EXPECT_TRUE(fake.fpgaWrites().empty()) << "no blind write when the read fails";
}

TEST_F(Imx993, GainModeIsBitZeroOf0x710WithRawAccess) {
  EXPECT_EQ(sensor.HasGainMode(), 1);
  fake.sensor_[0x710] = 0x81;
  EXPECT_EQ(sensor.GetGainMode(), 0) << "bit set: high gain";
  ASSERT_EQ(sensor.SetGainMode(1), 1);
  EXPECT_EQ(fake.sensor_.at(0x710), 0x80);
  EXPECT_EQ(sensor.GetGainMode(), 1);
  ASSERT_EQ(sensor.SetGainMode(0), 1);
  EXPECT_EQ(fake.sensor_.at(0x710), 0x81);
  EXPECT_EQ(sensor.SetGainMode(5), 0);
  EXPECT_EQ(fake.sensor_.at(0x710), 0x81) << "an unknown mode leaves the register alone";
  for (const auto& e : fake.trace()) {
    EXPECT_FALSE(e.busHeld);
  }
  fake.failSensorReads_.insert(0x710);
  EXPECT_EQ(sensor.GetGainMode(), -1);
  EXPECT_EQ(sensor.SetGainMode(0), 0);
}

TEST_F(Imx993, TriggerModeSequences) {
  fake.fpga_[88] = 0;
  EXPECT_EQ(sensor.SetTriggerMode(0), 1);
  EXPECT_EQ(sensor.restartEnabled(), 0) << "already free-running";
  EXPECT_TRUE(fake.sensorWrites().empty());

  fake.clear();
  ASSERT_EQ(sensor.SetTriggerMode(1), 1);
  EXPECT_EQ(sensor.restartEnabled(), 1);
  EXPECT_EQ(sensor.GetTriggerMode(), 1);
  EXPECT_EQ(fake.fpga_[88], 2);
  const auto fpga = fake.fpgaWrites();
  EXPECT_EQ(fpga.front(), (std::pair<uint16_t, uint8_t>{88, 0}));
  EXPECT_EQ(fpga.back(), (std::pair<uint16_t, uint8_t>{88, 2}));
  EXPECT_EQ(fake.sensorWrites(),
            (Writes{{0x200, 1}, {0x20C, 0}, {0x430, 43}, {0x432, 1}, {0x600, 1}, {0x200, 0}}));

  fake.clear();
  ASSERT_EQ(sensor.SetTriggerMode(1), 1);
  EXPECT_EQ(fake.sensorWrites(), (Writes{{0x430, 43}, {0x432, 1}, {0x600, 1}}))
      << "same mode again: no standby";

  fake.clear();
  ASSERT_EQ(sensor.SetTriggerMode(0), 1);
  EXPECT_EQ(fake.fpga_[88], 0);
  EXPECT_EQ(fake.sensorWrites(),
            (Writes{{0x200, 1}, {0x20C, 0}, {0x430, 41}, {0x600, 0}, {0x200, 0}}));
  EXPECT_EQ(sensor.GetModeWord(), 0);
}

TEST_F(Imx993, InternalCorrectionIsBit15OfTheVersion) {
  fake.setVersion(0x8105);
  EXPECT_EQ(sensor.InternalCorrectionCapability(), 1);
  CSensorIMX993 other(&fake, 72);
  fake.setVersion(0x0105);
  EXPECT_EQ(other.InternalCorrectionCapability(), 0);
}

TEST(Imx993WithoutController, EveryRegisterOperationFails) {
  CSensorIMX993 sensor(nullptr, 72);
  EXPECT_EQ(sensor.ApplyDefaults(), 0);
  EXPECT_EQ(sensor.SetAnalogGain(10), 0);
  EXPECT_EQ(sensor.SetExposureSeconds(0.01), 0);
  EXPECT_EQ(sensor.WriteSensorRegister(0x200, 1), 0);
  uint8_t value = 0;
  EXPECT_EQ(sensor.ReadSensorRegisterRaw(0x200, &value), 0);
  EXPECT_EQ(sensor.GetAnalogGain(), 0);
  EXPECT_DOUBLE_EQ(sensor.info().secondsCurrent, 0.010290322);
}

}  // namespace
}  // namespace nivexa::sensors

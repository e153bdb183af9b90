#include "sensors/CSensorBase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "sensors/CSensorIMX993.h"
#include "sensors/FakeController.h"

namespace nivexa::sensors {
namespace {

using test::FakeController;

// Reaches the base's common FPGA operations, which drivers use internally.
class ProbeSensor : public CSensorBase {
 public:
  using CSensorBase::CSensorBase;
  using CSensorBase::VerifiedFpgaWrite;
};

TEST(SensorBase, DefaultsReportNothingSupported) {
  FakeController fake;
  CSensorBase base(&fake, 72);
  EXPECT_EQ(base.GetModeWord(), 15);
  base.SetModeWord(3);
  EXPECT_EQ(base.GetModeWord(), 3);
  EXPECT_EQ(base.SetVariant(77), 1);
  EXPECT_EQ(base.variantCode(), 77);
  EXPECT_EQ(base.PreInitCheck(), 0);
  EXPECT_EQ(base.ApplyDefaults(), 0);
  EXPECT_EQ(base.SetReadoutWindow(0, 8, 0, 4, 0), 0);
  EXPECT_EQ(base.HasCooling(), 0);
  int on = 7;
  EXPECT_EQ(base.GetCooling(&on), 0);
  EXPECT_EQ(base.SetCooling(1), 0);
  EXPECT_EQ(base.HasTemperature(), 0);
  double celsius = 0;
  EXPECT_EQ(base.ReadTemperature(&celsius), 0);
  EXPECT_EQ(base.HasGainMode(), 0);
  EXPECT_EQ(base.GetGainMode(), -1);
  EXPECT_EQ(base.FrameWidthFactor(), -1);
  EXPECT_EQ(base.AcceptsMonochromeFormats(), 1);
  EXPECT_EQ(base.SecondFormatCapability(), 1);
  EXPECT_EQ(base.AcceptsColourFormats(), 1);
  EXPECT_EQ(base.WriteSensorRegister(0x200, 1), 0);
  int level = -5;
  EXPECT_EQ(base.GetBlackLevel(&level), 0) << "returns the supported word";
  EXPECT_EQ(base.ExposureSecondsSupported(), 0);
  EXPECT_TRUE(fake.trace().empty());
}

TEST(SensorBase, CopiesTheWholeSensorInfo) {
  FakeController fake;
  CSensorIMX993 sensor(&fake, 72);
  EXPECT_EQ(sensor.CopySensorInfo(nullptr), 0);
  SensorInfo copy;
  std::memset(&copy, 0xA5, sizeof copy);
  ASSERT_EQ(sensor.CopySensorInfo(&copy), 1);
  EXPECT_EQ(std::memcmp(&copy, &sensor.info(), sizeof copy), 0);
}

TEST(SensorBase, VerifiedWriteRetriesUntilTheRegisterHolds) {
  FakeController fake;
  ProbeSensor probe(&fake, 72);
  EXPECT_EQ(probe.VerifiedFpgaWrite(90, 2), 1);
  EXPECT_EQ(fake.fpgaWrites().size(), 1u);

  fake.clear();
  fake.stuckFpga_.insert(90);
  EXPECT_EQ(probe.VerifiedFpgaWrite(90, 1), 0);
  EXPECT_EQ(fake.fpgaWrites().size(), 10u);

  ProbeSensor detached(nullptr, 72);
  EXPECT_EQ(detached.VerifiedFpgaWrite(90, 1), 0);
}

TEST(SensorBase, FpgaVersionIsReadOnceAndCached) {
  FakeController fake;
  fake.failVersion_ = true;
  CSensorBase base(&fake, 72);
  EXPECT_EQ(base.FpgaVersion(), 0);
  EXPECT_EQ(fake.versionReads_, 10);
  fake.failVersion_ = false;
  fake.setVersion(0x8123);
  EXPECT_EQ(base.FpgaVersion(), 0x8123);
  EXPECT_EQ(base.FpgaVersion(), 0x8123);
  EXPECT_EQ(fake.versionReads_, 11);
}

TEST(SensorBase, RestartPulsesRegister108UnlessDisabled) {
  FakeController fake;
  CSensorIMX993 sensor(&fake, 72);
  ASSERT_EQ(sensor.RestartFpgaFrame(), 1);
  EXPECT_EQ(fake.fpgaWrites(), (std::vector<std::pair<uint16_t, uint8_t>>{{108, 1}, {108, 0}}));

  // Free-running already: the trigger setter disables restarts.
  ASSERT_EQ(sensor.SetTriggerMode(0), 1);
  fake.clear();
  EXPECT_EQ(sensor.RestartFpgaFrame(), 1);
  EXPECT_TRUE(fake.trace().empty());
}

TEST(SensorBase, BusyBusGivesUpAfter100PollsAndReleasesTheRequest) {
  FakeController fake;
  CSensorIMX993 sensor(&fake, 72);
  fake.busBusyForever_ = true;
  EXPECT_EQ(sensor.WriteSensorRegister(0x200, 1), 0);
  EXPECT_EQ(fake.busPolls_, 100);
  EXPECT_EQ(fake.fpga_[0x9F], 0);
  EXPECT_TRUE(fake.sensorWrites().empty());
  const auto& requests = fake.trace();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests.front().address, 0x9F);
  EXPECT_EQ(requests.front().value, 1);
  EXPECT_EQ(requests.back().address, 0x9F);
  EXPECT_EQ(requests.back().value, 0);

  // Busy for a while, then free: the write goes through while the bus is held.
  fake.busBusyForever_ = false;
  fake.busPolls_ = 0;
  fake.busBusyPolls_ = 3;
  fake.clear();
  uint8_t value = 0;
  fake.sensor_[0x300] = 0x5A;
  ASSERT_EQ(sensor.ReadSensorRegister(0x300, &value), 1);
  EXPECT_EQ(value, 0x5A);
  EXPECT_EQ(fake.busPolls_, 4);
  EXPECT_EQ(fake.fpga_[0x9F], 0);
}

TEST(SensorBase, RawAccessKeepsAddressAndDataTogetherAcrossThreads) {
  FakeController fake;
  CSensorIMX993 sensor(&fake, 72);
  fake.sensor_[0x100] = 0xAA;
  fake.sensor_[0x200] = 0xBB;
  std::atomic<int> wrong{0};
  auto reader = [&](uint16_t address, uint8_t expected) {
    for (int i = 0; i < 2000; ++i) {
      uint8_t value = 0;
      if (!sensor.ReadSensorRegisterRaw(address, &value) || value != expected) {
        ++wrong;
      }
    }
  };
  std::thread a(reader, 0x100, 0xAA);
  std::thread b(reader, 0x200, 0xBB);
  a.join();
  b.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(SensorBase, FrameRestartFromAnotherThreadWhileTheTriggerIsSet) {
  FakeController fake;
  CSensorIMX993 sensor(&fake, 72);
  std::atomic<bool> done{false};
  std::thread capture([&] {
    while (!done) {
      sensor.RestartFpgaFrame();
    }
  });
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(sensor.SetTriggerMode(0), 1);
  }
  done = true;
  capture.join();
  EXPECT_EQ(sensor.restartEnabled(), 0);
  EXPECT_EQ(fake.fpga_[108], 0) << "every pulse was released";
}

}  // namespace
}  // namespace nivexa::sensors

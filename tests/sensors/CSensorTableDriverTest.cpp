// The drivers of the family's other products: what they do without their chips' register maps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "family/FamilyTable.h"
#include "sensors/CSensorFamilyH.h"
#include "sensors/CSensorIMX675.h"
#include "sensors/DiagnosticTrace.h"
#include "sensors/FakeController.h"

namespace nivexa::sensors::test {
namespace {

// Collects the diagnostic trace while it lives.
class TraceLines {
 public:
  TraceLines() {
    setTraceSink([this](const std::string& line) { lines.push_back(line); });
  }
  ~TraceLines() { setTraceSink({}); }
  std::vector<std::string> lines;
};

const family::FamilyRow& rowOf(int productId) {
  return *family::findFamilyRow(productId);
}

TEST(CSensorIMX675, TracesEveryRawWriteWithItsOutcome) {
  FakeController fake;
  CSensorIMX675 sensor(&fake, 72, rowOf(0x3360));
  fake.failSensorWrites_.insert(0x3001);
  TraceLines trace;
  EXPECT_EQ(sensor.WriteSensorRegisterRaw(0x3000, 0x12), 1);
  EXPECT_EQ(sensor.WriteSensorRegisterRaw(0x3001, 0xAB), 0);
  EXPECT_EQ(trace.lines, (std::vector<std::string>{"Sensor reg0x3000 = 0x12(Succeed)",
                                                   "Sensor reg0x3001 = 0xAB(Failed)"}));
  EXPECT_EQ(fake.sensorWrites(),
            (std::vector<std::pair<uint16_t, uint8_t>>{{0x3000, 0x12}, {0x3001, 0xAB}}));
  // Reads are not traced.
  uint8_t value = 0;
  EXPECT_EQ(sensor.ReadSensorRegisterRaw(0x3000, &value), 1);
  EXPECT_EQ(value, 0x12);
  EXPECT_EQ(trace.lines.size(), 2u);
}

TEST(CSensorTableDriver, SonyChipsKeepRawAccessOthersHaveNone) {
  FakeController sony;
  CSensorTableDriver imx250(&sony, 72, rowOf(0x31B0), "CSensorIMX250");
  ASSERT_EQ(imx250.WriteSensorRegisterRaw(0x0200, 0x01), 1);
  uint8_t value = 0;
  ASSERT_EQ(imx250.ReadSensorRegisterRaw(0x0200, &value), 1);
  EXPECT_EQ(value, 0x01);

  FakeController other(108);
  CSensorTableDriver familyE(&other, 108, rowOf(0x3140), "CSensorFamilyE");
  EXPECT_EQ(familyE.WriteSensorRegisterRaw(0x0200, 0x01), 0);
  EXPECT_EQ(familyE.ReadSensorRegisterRaw(0x0200, &value), 0);
  EXPECT_TRUE(other.trace().empty()) << "nothing reached the bus";
}

TEST(CSensorTableDriver, RefusesToInitialiseAndSaysWhy) {
  FakeController fake;
  CSensorTableDriver sensor(&fake, 72, rowOf(0x31B0), "CSensorIMX250");
  TraceLines trace;
  EXPECT_EQ(sensor.PreInitCheck(), 0);
  EXPECT_EQ(sensor.ApplyDefaults(), 0);
  ASSERT_EQ(trace.lines.size(), 1u);
  EXPECT_EQ(trace.lines[0],
            "CSensorIMX250: no register programming for product 0x31B0 in this library");
  EXPECT_TRUE(fake.trace().empty());
  // Its setters cannot program the chip either; the stored values stay as they were.
  EXPECT_EQ(sensor.SetAnalogGain(10), 0);
  EXPECT_EQ(sensor.SetTriggerMode(1), 0);
  EXPECT_EQ(sensor.SetOutputDepth(1), 0);
  EXPECT_EQ(sensor.info().gainCurrent, 0);
}

TEST(CSensorTableDriver, LineScanFramesWaitForAWindow) {
  CSensorTableDriver sensor(nullptr, 32, rowOf(0x3210), "CSensorFamilyN");
  EXPECT_EQ(sensor.info().arrayHeight, family::kLineScanHeight);
  int x = -1, width = -1, y = -1, height = -1, mode = -1;
  ASSERT_EQ(sensor.GetReadoutWindow(&x, &width, &y, &height, &mode), 1);
  EXPECT_EQ(width, 2048);
  EXPECT_EQ(height, 0) << "no frame of 32768 lines before a window is chosen";
}

TEST(CSensorFamilyH, FpgaWritesBecomeTextCommands) {
  EXPECT_EQ(CSensorFamilyH::FpgaWriteCommand(0x3A, 0x05), "q -w x3a x05\n");
  EXPECT_EQ(CSensorFamilyH::FpgaWriteCommand(0, 0xFF), "q -w x00 xff\n");
  // The serial channel that carries them is not part of this library: the write fails instead
  // of falling back to an FPGA register request the camera does not expect.
  FakeController fake;
  CSensorFamilyH sensor(&fake, 72, rowOf(0x3180));
  EXPECT_EQ(sensor.WriteFpgaByText(0x3A, 0x05), 0);
  EXPECT_TRUE(fake.trace().empty());
  EXPECT_EQ(sensor.info().orientation, 2);
}

}  // namespace
}  // namespace nivexa::sensors::test

// The IMX993 driver against the virtual camera, through the real USB controller: the register
// traffic is taken from the camera model's own trace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sensors/CSensorIMX993.h"
#include "sim/CameraSet.h"
#include "transport/CVelCy3Cam.h"

namespace nivexa::sensors {
namespace {

constexpr uint16_t kProductId = 0x33D0;
constexpr uint8_t kSensorBus = 72;
constexpr uint8_t kFpgaBus = 0x40;

// The camera's trace as short lines: sensor writes "S 0x2D4=0x5C", sensor reads "R 0x720", FPGA
// writes "F 133=38" (without the bus request); FPGA reads (read-backs and polls) left out.
std::vector<std::string> programTrace(const std::vector<sim::TraceEntry>& trace) {
  std::vector<std::string> out;
  char line[32];
  for (const auto& e : trace) {
    if (e.device == kSensorBus && e.write) {
      std::snprintf(line, sizeof line, "S 0x%03X=0x%02X", e.address, e.value);
    } else if (e.device == kSensorBus) {
      std::snprintf(line, sizeof line, "R 0x%03X", e.address);
    } else if (e.device == kFpgaBus && e.write && e.address != 0x9F) {
      std::snprintf(line, sizeof line, "F %u=%u", e.address, e.value);
    } else {
      continue;
    }
    out.emplace_back(line);
  }
  return out;
}

class Imx993OnVirtualCamera : public ::testing::Test {
 protected:
  void open(sim::CameraOptions options = {}) {
    options.pacing = sim::Pacing::Fast;
    options.serial = "VS" + std::to_string(++serial_);
    camera = sim::createCamera(options);
    controller = std::make_unique<transport::CVelCy3Cam>();
    controller->EnumerateDevices();
    // The newest camera of this product is the last instance in the table.
    int index = -1;
    for (int i = 0; i < controller->DeviceCount(); ++i) {
      if (controller->ProductIdAt(i) == options.productId) {
        index = i;
      }
    }
    ASSERT_GE(index, 0);
    ASSERT_TRUE(controller->SetDeviceIndex(index));
    sensor = std::make_unique<CSensorIMX993>(controller.get(), kSensorBus);
    sensor->SetVariant(options.productId == kProductId ? 132 : 131);
    camera->clearTrace();
  }
  void TearDown() override {
    sensor.reset();
    controller.reset();
    if (camera) {
      sim::removeCamera(camera);
    }
  }
  int sensor24(uint16_t low) const {
    return camera->sensorRegister(low) | camera->sensorRegister(low + 1) << 8 |
           camera->sensorRegister(low + 2) << 16;
  }
  int frameLength() const { return sensor24(0x2D4); }
  int shutter() const { return sensor24(0x440); }
  int pollsOfBusState() const {
    int polls = 0;
    for (const auto& e : camera->trace()) {
      polls += e.device == kFpgaBus && !e.write && e.address == 0x02;
    }
    return polls;
  }

  static inline int serial_ = 0;
  std::shared_ptr<sim::Camera> camera;
  std::unique_ptr<transport::CVelCy3Cam> controller;
  std::unique_ptr<CSensorIMX993> sensor;
};

TEST_F(Imx993OnVirtualCamera, OpeningProducesTheDocumentedRegisterTraffic) {
  open();
  const uint8_t drive = camera->sensorRegister(0x430);
  char driveWrite[32];
  std::snprintf(driveWrite, sizeof driveWrite, "S 0x430=0x%02X", 40 | (drive & 3));
  ASSERT_EQ(sensor->PreInitCheck(), 1);
  ASSERT_EQ(sensor->ApplyDefaults(), 1);
  const auto trace = camera->trace();
  EXPECT_THAT(programTrace(trace),
              ::testing::ElementsAreArray<std::string>({
                  "S 0x702=0x00", "S 0x7C0=0xF0", "S 0x7C1=0x00", "R 0x720",      "R 0x740",
                  "S 0x714=0x00", "S 0x715=0x00", "S 0x2D6=0x00", "S 0x2D5=0x06", "S 0x2D4=0x5C",
                  "S 0x440=0x36", "S 0x441=0x00", "S 0x442=0x00", "F 133=38",     "F 134=6",
                  "F 155=0",      "F 84=100",     "F 85=1",       "F 80=51",      "F 81=6",
                  "F 82=0",       "S 0x404=0x00", "F 76=112",     "F 77=0",       "S 0x404=0x00",
                  "S 0x23C=0x00", "S 0x304=0x00", "S 0x400=0x24", "R 0x430",      driveWrite,
                  "S 0x431=0x00", "F 90=0",       "S 0x320=0x00", "S 0x321=0x00", "S 0x322=0x00",
                  "S 0x323=0x00", "S 0x324=0x00", "S 0x325=0x08", "S 0x326=0x00", "S 0x327=0x06",
                  "S 0x2D4=0x5C", "S 0x2D5=0x06", "S 0x2D6=0x00", "S 0x200=0x01", "S 0x20C=0x01",
                  "S 0x2D8=0xD2", "S 0x2D9=0x03", "S 0x200=0x00", "S 0x20C=0x00",
              }));
  for (const auto& e : trace) {
    if (e.device == kSensorBus) {
      EXPECT_TRUE(e.granted) << "sensor register 0x" << std::hex << e.address;
    }
  }
  EXPECT_EQ(camera->fpgaRegister(0x9F), 0);

  // The handle layer then switches the cooler on: read-modify-write of register 151.
  camera->clearTrace();
  ASSERT_EQ(sensor->SetCooling(1), 1);
  const auto cooling = camera->trace();
  ASSERT_EQ(cooling.size(), 2u);
  EXPECT_FALSE(cooling[0].write);
  EXPECT_EQ(cooling[0].address, 151);
  EXPECT_TRUE(cooling[1].write);
  EXPECT_EQ(cooling[1].value, cooling[0].value | 1);
}

TEST_F(Imx993OnVirtualCamera, WindowsAndReadoutModes) {
  open();
  EXPECT_EQ(sensor->SetReadoutWindow(4, 64, 0, 64, 0), 0);
  EXPECT_TRUE(camera->trace().empty()) << "a rejected window writes nothing";

  ASSERT_EQ(sensor->SetReadoutWindow(0, 2048, 0, 1536, 0), 1);
  EXPECT_EQ(frameLength(), 1628);
  EXPECT_EQ(camera->sensorRegister(0x304), 0);

  ASSERT_EQ(sensor->SetReadoutWindow(0, 1024, 0, 768, 0), 1);
  EXPECT_EQ(camera->sensorRegister(0x304), 3);
  EXPECT_EQ(frameLength(), 852);
  EXPECT_EQ(camera->imageSettings().outWidth, 1024);
  EXPECT_EQ(camera->imageSettings().outHeight, 768);

  ASSERT_EQ(sensor->SetReadoutWindow(0, 2048, 0, 1536, 1), 1);
  EXPECT_EQ(sensor->info().outputWidth, 1024);
  EXPECT_EQ(sensor->info().outputHeight, 768);
  EXPECT_EQ(camera->sensorRegister(0x322), 4);
  EXPECT_EQ(camera->fpgaRegister(90), 1);
  EXPECT_EQ(frameLength(), 860);
  const sim::ImageSettings binned = camera->imageSettings();
  EXPECT_EQ(binned.readout, 1);
  EXPECT_EQ(binned.outWidth, 1024) << "the sensor itself sends the size the driver reports";
  EXPECT_EQ(binned.outHeight, 768);
}

TEST_F(Imx993OnVirtualCamera, ExposureWorkedExamples) {
  open();
  ASSERT_EQ(sensor->SetExposureSeconds(0.010), 1);
  EXPECT_EQ(frameLength(), 1628);
  EXPECT_EQ(shutter(), 98);
  ASSERT_EQ(sensor->SetExposureSeconds(0.020), 1);
  EXPECT_EQ(frameLength(), 3116);
  EXPECT_EQ(shutter(), 52);
  EXPECT_EQ(camera->fpgaRegister(133) | camera->fpgaRegister(134) << 8, 3064);
  ASSERT_EQ(sensor->SetExposureSeconds(0.000027842), 1);
  EXPECT_EQ(sensor->GetExposureLines(), 2);
  EXPECT_EQ(frameLength(), 1628);
  EXPECT_EQ(shutter(), 1626);
}

TEST_F(Imx993OnVirtualCamera, GainBlackLevelAndGainModeRegisters) {
  open();
  ASSERT_EQ(sensor->SetAnalogGain(500), 1);
  EXPECT_EQ(camera->sensorRegister(0x714), 0xA4);
  EXPECT_EQ(camera->sensorRegister(0x715), 1);
  ASSERT_EQ(sensor->SetBlackLevel(5000), 1);
  EXPECT_EQ(camera->sensorRegister(0x7C0), 0xFF);
  EXPECT_EQ(camera->sensorRegister(0x7C1), 0x0F);
  EXPECT_EQ(camera->imageSettings().blackLevel, 4095);

  camera->clearTrace();
  ASSERT_EQ(sensor->SetGainMode(0), 1);
  EXPECT_EQ(camera->sensorRegister(0x710) & 1, 1);
  EXPECT_EQ(sensor->GetGainMode(), 0);
  ASSERT_EQ(sensor->SetGainMode(1), 1);
  EXPECT_EQ(camera->sensorRegister(0x710) & 1, 0);
  EXPECT_EQ(sensor->GetGainMode(), 1);
  for (const auto& e : camera->trace()) {
    EXPECT_FALSE(e.granted) << "the gain mode register is reached with raw access";
  }
}

TEST_F(Imx993OnVirtualCamera, CoolingReadModifyWriteKeepsTheOtherBits) {
  open();
  ASSERT_TRUE(controller->WriteFpgaRegister(151, 0x06));
  ASSERT_EQ(sensor->SetCooling(1), 1);
  EXPECT_EQ(camera->fpgaRegister(151), 0x07);
  int on = 0;
  EXPECT_EQ(sensor->GetCooling(&on), 1);
  ASSERT_EQ(sensor->SetCooling(0), 1);
  EXPECT_EQ(camera->fpgaRegister(151), 0x06);
}

TEST_F(Imx993OnVirtualCamera, TemperatureConversionsThroughTheFpgaCopy) {
  for (const auto& [ambient, expected] :
       std::vector<std::pair<double, double>>{{25.0, 25.0}, {-1.0, -1.0}, {0.125, 0.125}}) {
    sim::CameraOptions options;
    options.ambientC = ambient;
    open(options);
    double celsius = 99;
    ASSERT_EQ(sensor->ReadTemperature(&celsius), 1);
    EXPECT_DOUBLE_EQ(celsius, expected);
    TearDown();
    camera.reset();
  }
}

TEST_F(Imx993OnVirtualCamera, TemperatureFromTheSensorWithAnOlderFpga) {
  sim::CameraOptions options;
  options.fpgaVersion = 0x0104;
  options.ambientC = -1.0;
  open(options);
  double celsius = 99;
  ASSERT_EQ(sensor->ReadTemperature(&celsius), 1);
  EXPECT_DOUBLE_EQ(celsius, -1.0);
  EXPECT_EQ(camera->sensorRegister(0x788) & 1, 0) << "the latch is released again";
}

TEST_F(Imx993OnVirtualCamera, BusyBusGivesUpAfter100Polls) {
  open();
  camera->setFault(sim::Fault::BusBusy);
  EXPECT_EQ(sensor->WriteSensorRegister(0x714, 1), 0);
  EXPECT_EQ(pollsOfBusState(), 100);
  EXPECT_EQ(camera->fpgaRegister(0x9F), 0);
  camera->clearFaults();
  camera->clearTrace();
  ASSERT_EQ(sensor->WriteSensorRegister(0x714, 1), 1);
  EXPECT_EQ(camera->sensorRegister(0x714), 1);
  EXPECT_EQ(camera->fpgaRegister(0x9F), 0);
}

TEST_F(Imx993OnVirtualCamera, TriggerModeArmsTheExternalTriggerAndMirrorsReachTheImage) {
  open();
  ASSERT_EQ(sensor->ApplyDefaults(), 1);
  ASSERT_EQ(sensor->SetTriggerMode(1), 1);
  EXPECT_EQ(camera->fpgaRegister(88), 2);
  EXPECT_EQ(camera->sensorRegister(0x600), 1);
  EXPECT_EQ(camera->sensorRegister(0x430) & 3, 3);
  EXPECT_TRUE(camera->fireTrigger());
  ASSERT_EQ(sensor->SetTriggerMode(0), 1);
  EXPECT_EQ(camera->fpgaRegister(88), 0);
  EXPECT_EQ(camera->sensorRegister(0x600), 0);
  EXPECT_EQ(sensor->restartEnabled(), 1);

  ASSERT_EQ(sensor->SetMirrorH(1), 1);
  ASSERT_EQ(sensor->SetMirrorV(1), 1);
  EXPECT_EQ(camera->fpgaRegister(76), 16);
  EXPECT_TRUE(camera->imageSettings().mirrorH);
  EXPECT_TRUE(camera->imageSettings().mirrorV);
}

TEST_F(Imx993OnVirtualCamera, VariantWithoutCoolerLeavesTheCoolerRegisterAlone) {
  sim::CameraOptions options;
  options.productId = 0x33C0;
  open(options);
  EXPECT_EQ(sensor->info().orientation, 4);
  EXPECT_EQ(sensor->HasCooling(), 0);
  EXPECT_EQ(sensor->SetCooling(1), 0);
  EXPECT_TRUE(camera->trace().empty());
  EXPECT_EQ(sensor->HasTemperature(), 1);
}

}  // namespace
}  // namespace nivexa::sensors

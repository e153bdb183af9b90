// Opening cameras of every product of the family: the engine answers for their drivers, treats
// each product the way its row of the family table says, and streams from none whose chip it
// cannot program.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "engine/CNivexaUSB3R5SimpleSdk.h"
#include "engine/EngineTestSupport.h"
#include "family/FamilyTable.h"
#include "sensors/CSensorImx99x.h"
#include "sim/CameraSet.h"

namespace nivexa::engine::test {
namespace {

// The transfer buffers of a larger frame are not made here: five of them zeroed for every
// product would cost more than the check is worth.
constexpr int64_t kPreparedFrameBudget = 64ll << 20;
// Every exposure the engine does not defer goes to the driver, which for an unprogrammed chip
// takes none.
constexpr int kSomeExposureTicks = 100;
// The full-frame output formats of the readout (FPGA register 72).
constexpr uint8_t kFormatFull = 25;
constexpr uint8_t kFormatFullDefaultHeight = 33;
constexpr uint16_t kOutputDepthRegister = 60;
constexpr uint16_t kOutputWidthLowRegister = 68;
constexpr uint16_t kOutputFormatRegister = 72;
constexpr uint16_t kFrameRestartRegister = 108;
constexpr auto kStreamResetSettle = std::chrono::milliseconds(100);

std::shared_ptr<sim::Camera> cameraOf(uint16_t productId, const char* serial) {
  sim::CameraOptions options;
  options.productId = productId;
  options.serial = serial;
  options.pacing = sim::Pacing::Fast;
  options.noise = false;
  return sim::createCamera(options);
}

// The engine's own capability answers, named as the family table names its groups.
std::string engineGroups(CNivexaU3R5Base& engine) {
  using namespace family;
  uint32_t groups = 0;
  auto add = [&](int answer, Group group) {
    if (answer != 0) {
      groups |= group;
    }
  };
  for (Group group : {kDepth, kTrigger, kGain, kColourGains, family::kCcd, kClockMode, kSerialText,
                      kThermistor, kConverter}) {
    add(engine.SupportsGroup(group), group);
  }
  add(engine.MirrorVSupported(), kMirrorV);
  add(engine.MirrorHSupported(), kMirrorH);
  add(engine.BlackLevelSupported(), kBlackLevel);
  add(engine.ExposureSecondsSupported(), kSeconds);
  add(engine.HasCooling(), kCooling);
  add(engine.HasTemperature(), kTemperature);
  add(engine.HasGainMode(), kGainMode);
  add(engine.FifthParameterSupported(), kFifthParameter);
  add(engine.HasFpgaTemperatureMonitor(), kFpgaDieTemperature);
  add(engine.AcceptsColourFormats() == 0, kNoColourFormats);
  return groupNames(groups);
}

bool sentFrameRequest(const sim::Camera& camera) {
  for (const auto& request : camera.requests()) {
    if (request.request == 0xC2) {
      return true;
    }
  }
  return false;
}

// Position in the camera's trace of the first write to `device` (at `address` when given);
// the trace's size when there is none.
size_t firstWrite(const sim::Camera& camera, uint8_t device, int address = -1) {
  const auto trace = camera.trace();
  for (size_t i = 0; i < trace.size(); ++i) {
    if (trace[i].write && trace[i].device == device &&
        (address < 0 || trace[i].address == address)) {
      return i;
    }
  }
  return trace.size();
}

// What the engine does with a product whose chip it cannot program: no open, no stream, but an
// output path prepared the way the row says.
void checkUnprogrammed(CNivexaU3R5Base& engine, sim::Camera& camera, const family::FamilyRow& row) {
  const bool alternative = row.has(family::kAlternativeStreaming);
  EXPECT_FALSE(engine.CameraOpen());
  EXPECT_EQ(engine.InternalCorrectionSupported(), row.has(family::kInternalCorrection) ? 1 : 0);
  EXPECT_EQ(engine.SetExposureTicks(kSomeExposureTicks),
            row.has(family::kExposureBetweenFrames) ? 1 : 0)
      << "a deferred exposure is taken; the driver takes none";
  EXPECT_EQ(engine.WriteFpgaRegister(kOutputDepthRegister, 0), alternative ? 0 : 1)
      << "no FPGA writes behind the alternative streaming interface";

  const int64_t tripled = row.has(family::kConverter) ? 3 : 1;
  const int64_t frameBytes = int64_t{row.arrayWidth} * row.arrayHeight * tripled;
  if (!row.lineScan() && frameBytes <= kPreparedFrameBudget) {
    camera.clearTrace();
    EXPECT_EQ(engine.PrepareTransfer(), alternative ? 0 : 1);
    EXPECT_EQ(engine.FrameSize(), static_cast<uint32_t>(frameBytes));
    const bool sizeWritten =
        firstWrite(camera, kFpga, kOutputWidthLowRegister) < camera.trace().size();
    EXPECT_EQ(sizeWritten, !alternative && !row.has(family::kFpgaKeepsOutputSize));
  }

  // A stream restart restarts the sensor's frame through the FPGA unless the row says the
  // product keeps it; the alternative interface resets its port instead.
  camera.clearTrace();
  const auto restartBegan = std::chrono::steady_clock::now();
  EXPECT_EQ(engine.RestartStreaming(), 1);
  const auto restartTook = std::chrono::steady_clock::now() - restartBegan;
  const bool frameRestarted =
      firstWrite(camera, kFpga, kFrameRestartRegister) < camera.trace().size();
  EXPECT_EQ(frameRestarted, !alternative && !row.has(family::kKeepsFrameOnStreamRestart));
  if (row.has(family::kSettlesAfterStreamReset)) {
    EXPECT_GE(restartTook, kStreamResetSettle);
  }

  EXPECT_EQ(engine.StartCapture(1), 0) << "never pretends to stream";
  EXPECT_EQ(engine.CaptureOneFrame(), 2);
  EXPECT_FALSE(engine.CaptureRunning());
  EXPECT_FALSE(sentFrameRequest(camera));
}

// A programmed chip opens; the output depth goes to the driver before the FPGA hears of it,
// and the readout's output format follows when the row says so.
void checkProgrammed(CNivexaU3R5Base& engine, sim::Camera& camera, const family::FamilyRow& row) {
  EXPECT_TRUE(engine.CameraOpen());
  camera.clearTrace();
  ASSERT_EQ(engine.SetOutputDepth(1), 1);
  const size_t depthToFpga = firstWrite(camera, kFpga, kOutputDepthRegister);
  ASSERT_LT(depthToFpga, camera.trace().size());
  if (row.has(family::kDriverSetsDepth)) {
    EXPECT_EQ(engine.Sensor()->info().outputDepth, 16);
    EXPECT_LT(firstWrite(camera, kSensor), depthToFpga);
  }
  const bool formatWritten =
      firstWrite(camera, kFpga, kOutputFormatRegister) < camera.trace().size();
  EXPECT_EQ(formatWritten, row.has(family::kWritesOutputFormat));
  if (formatWritten) {
    EXPECT_EQ(camera.fpgaRegister(kOutputFormatRegister),
              row.has(family::kDefaultHeightFormat) ? kFormatFullDefaultHeight : kFormatFull);
  }
}

TEST(EngineFamily, EveryProductGetsItsDriverAndTheWaysOfItsRow) {
  for (const family::FamilyRow& row : family::familyTable()) {
    if (row.alternateDriver != nullptr) {
      continue;  // chosen by the chip's version register (below)
    }
    SCOPED_TRACE(::testing::Message() << std::hex << "product 0x" << row.productId);
    auto camera = cameraOf(row.productId, "FAM1");
    {
      CNivexaUSB3R5SimpleSdk engine;
      engine.SetProductId(row.productId);
      EXPECT_EQ(engine.Ring().slotCount(), row.has(family::kStampedFrames) ? 8 : 4);
      engine.CreateController(nullptr);
      ASSERT_EQ(engine.CountDevices(row.productId), 1);
      const int opened = engine.CreateSensor(0);
      ASSERT_NE(engine.Sensor(), nullptr);
      EXPECT_STREQ(engine.Sensor()->driverName(), row.driver);
      // Only the SWIR drivers carry their chips' programming.
      const bool programmed = dynamic_cast<sensors::CSensorImx99x*>(engine.Sensor()) != nullptr;
      EXPECT_EQ(opened, programmed ? 1 : 0);
      EXPECT_EQ(engine.GetArrayWidth(), row.arrayWidth);
      EXPECT_EQ(engine.GetArrayHeight(), row.arrayHeight);
      EXPECT_EQ(engine.Sensor()->info().orientation, row.orientation);
      EXPECT_EQ(engineGroups(engine), family::groupNames(row.groups));
      EXPECT_EQ(engine.FpgaDieTemperatureSupported(), engine.HasFpgaTemperatureMonitor());
      EXPECT_EQ(engine.UsesAlternativeStreaming(), row.has(family::kAlternativeStreaming) ? 1 : 0);
      EXPECT_EQ(engine.InternalCorrectionLevelMax(), row.has(family::kCorrectionLevel) ? 65535 : 0);
      if (programmed) {
        checkProgrammed(engine, *camera, row);
      } else {
        checkUnprogrammed(engine, *camera, row);
      }
    }
    sim::removeCamera(camera);
  }
}

TEST(EngineFamily, ProductChoosingByChipVersionBuildsNoDriverWhenTheChipDoesNotAnswer) {
  auto camera = cameraOf(0x3020, "FAM2");  // the virtual camera has nothing at bus address 0x20
  {
    CNivexaUSB3R5SimpleSdk engine;
    engine.SetProductId(0x3020);
    engine.CreateController(nullptr);
    ASSERT_EQ(engine.CountDevices(0x3020), 1);
    EXPECT_EQ(engine.CreateSensor(0), 0);
    EXPECT_EQ(engine.Sensor(), nullptr);
  }
  sim::removeCamera(camera);
}

TEST(EngineFamily, FailedOpenOfAnotherProductLeavesTheEngineUsableForThisOne) {
  auto other = cameraOf(0x31B0, "FAM3");
  auto ours = cameraOf(0x33D0, "FAM4");
  {
    CNivexaUSB3R5SimpleSdk engine;
    engine.SetProductId(0x31B0);
    engine.CreateController(nullptr);
    ASSERT_EQ(engine.CountDevices(0x31B0), 1);
    EXPECT_EQ(engine.CreateSensor(0), 0);
    EXPECT_EQ(engine.StartCapture(1), 0);

    engine.SetProductId(kProductM7qxTec);
    ASSERT_EQ(engine.CountDevices(kProductM7qxTec), 1);
    ASSERT_EQ(engine.CreateSensor(0), 1);
    EXPECT_TRUE(engine.CameraOpen());
    EXPECT_STREQ(engine.Sensor()->driverName(), "CSensorIMX993");
    ASSERT_EQ(engine.SetOutputDepth(1), 1);
    ASSERT_EQ(engine.StartCapture(1), 1);
    EXPECT_EQ(engine.WaitForFrame(3000), 3);
    EXPECT_EQ(engine.StopCapture(), 1);
    EXPECT_FALSE(sentFrameRequest(*other));
    EXPECT_TRUE(sentFrameRequest(*ours));
  }
  sim::removeCamera(other);
  sim::removeCamera(ours);
}

}  // namespace
}  // namespace nivexa::engine::test

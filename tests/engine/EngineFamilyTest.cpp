// Opening cameras of the family's other products: the engine answers for their drivers but
// streams from none whose chip it cannot program.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/CNivexaUSB3R5SimpleSdk.h"
#include "engine/FamilyExpectations.h"
#include "family/FamilyTable.h"
#include "sim/CameraSet.h"

namespace nivexa::engine::test {
namespace {

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

TEST(EngineFamily, EveryOtherProductOpensNothingAndAnswersForItsDriver) {
  for (const auto& expected : kExpectedFamily) {
    if (programmedHere(expected.productId)) {
      continue;  // the SWIR drivers open against their own cameras (EngineOpen, Capture)
    }
    SCOPED_TRACE(::testing::Message() << std::hex << "product 0x" << expected.productId);
    auto camera = cameraOf(expected.productId, "FAM1");
    {
      CNivexaUSB3R5SimpleSdk engine;
      engine.SetProductId(expected.productId);
      engine.CreateController(nullptr);
      ASSERT_EQ(engine.CountDevices(expected.productId), 1);
      EXPECT_EQ(engine.CreateSensor(0), 0) << "no register programming, no open";
      ASSERT_NE(engine.Sensor(), nullptr);
      EXPECT_STREQ(engine.Sensor()->driverName(), expected.driver);
      EXPECT_FALSE(engine.CameraOpen());
      EXPECT_EQ(engine.GetArrayWidth(), expected.width);
      EXPECT_EQ(engine.GetArrayHeight(), expected.height);
      EXPECT_EQ(engineGroups(engine), expected.groups);
      EXPECT_EQ(engine.StartCapture(1), 0) << "never pretends to stream";
      EXPECT_EQ(engine.CaptureOneFrame(), 2);
      EXPECT_FALSE(engine.CaptureRunning());
      EXPECT_FALSE(sentFrameRequest(*camera));
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

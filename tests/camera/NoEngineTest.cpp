// A camera object whose engine is missing (initialisation never ran or could not make it): every
// parameter that needs the engine fails with error 1, recorded or only posted as each one does,
// and the stored-only values still work.
#include <gtest/gtest.h>

#include <vector>

#include "camera/CNivexa.h"
#include "camera/ParameterTestSupport.h"

namespace nivexa::camera::test {
namespace {

using Codes = std::vector<LONG>;

class NoEngine : public ::testing::Test {
 protected:
  void SetUp() override { drainPosted(); }

  Codes recorded() {
    Codes codes;
    for (uint32_t code = camera_.GetLastError(); code != 0; code = camera_.GetLastError()) {
      codes.push_back(static_cast<LONG>(code));
    }
    return codes;
  }

  CNivexa camera_;
};

TEST_F(NoEngine, FilterValuesFailWithErrorOneAndClearOk) {
  for (int32_t id : {1, 6, 10, 13, 18, 28, 100, 101, 104, 105, 106, 999}) {
    SCOPED_TRACE(id);
    BOOL ok = 1;
    EXPECT_EQ(camera_.GetFilterValue(id, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(camera_.GetFilterValue(id, nullptr), 0);
    EXPECT_EQ(camera_.SetFilterValue(id, 0), 0);
    EXPECT_EQ(recorded(), (Codes{1, 1, 1}));
  }
  EXPECT_TRUE(drainPosted().empty()) << "recorded without a window: nothing posted";
}

TEST_F(NoEngine, EngineExportsRecordErrorOne) {
  BOOL ok = 1;
  EXPECT_EQ(camera_.GetExposureTimeEx(&ok), -1.0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(camera_.SetExposureTimeEx(0.5), 0);
  ok = 1;
  EXPECT_EQ(camera_.GetRealExposureTime(&ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(camera_.SetRealExposureTime(1000), 0);
  ok = 1;
  EXPECT_EQ(camera_.GetTemperatureEx(&ok), 0.0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(camera_.GetMirrorH(), 0);
  EXPECT_EQ(camera_.SetMirrorH(1), 0);
  NivexaCameraInfo info{};
  info.size = sizeof info;
  EXPECT_EQ(camera_.GetCameraInfo(&info), 0);
  EXPECT_EQ(info.widthLimit, 0);
  EXPECT_EQ(recorded(), (Codes{1, 1, 1, 1, 1, 1, 1, 1}));
  EXPECT_TRUE(drainPosted().empty());
}

TEST_F(NoEngine, PostOnlyExportsPostErrorOneAndRecordNothing) {
  BOOL ok = 1;
  EXPECT_EQ(camera_.GetInternalCorrection(&ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(camera_.SetInternalCorrection(1), 0);
  EXPECT_EQ(camera_.GetMirrorV(), 0);
  EXPECT_EQ(camera_.SetMirrorV(1), 0);
  uint8_t port = 0x5A;
  EXPECT_EQ(camera_.GetIOPort(&port), 0);
  EXPECT_EQ(port, 0x5A);
  EXPECT_EQ(camera_.SetIOPort(1), 0);
  EXPECT_TRUE(recorded().empty());
  EXPECT_EQ(drainPosted(), (Codes{1, 1, 1, 1, 1, 1}));
  EXPECT_EQ(camera_.SetSamplingRate(5), 0);
  EXPECT_TRUE(recorded().empty());
  EXPECT_TRUE(drainPosted().empty()) << "the sampling rate says nothing at all";
}

TEST_F(NoEngine, StoredOnlyValuesNeedNoEngine) {
  EXPECT_EQ(camera_.SetAutoIris(2), 1);
  BOOL ok = 0;
  EXPECT_EQ(camera_.GetAutoIris(&ok), 2);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(camera_.SetSubSample(1), 1);
  EXPECT_EQ(camera_.GetSubSample(), 1);
  EXPECT_EQ(camera_.GetWaitTime(), 10) << "the constructed wait time";
  EXPECT_EQ(camera_.SetWaitTime(3), 1);
  EXPECT_EQ(camera_.GetWaitTime(), 3);
  EXPECT_EQ(camera_.GetColorMode(), 8);
  // Without an engine no format capability refuses anything.
  EXPECT_EQ(camera_.SetColorMode(64), 1);
  EXPECT_EQ(camera_.GetColorMode(), 64);
  EXPECT_EQ(camera_.SetColorMode(12), 0);
  EXPECT_EQ(recorded(), Codes{9});
}

}  // namespace
}  // namespace nivexa::camera::test

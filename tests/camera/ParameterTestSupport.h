#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "NivexaSdk.h"
#include "api/ApiTestSupport.h"
#include "api/CSdkChain.h"
#include "sim/CameraSet.h"

namespace nivexa::camera::test {

using nivexa::test::drainErrors;

inline constexpr uint8_t kSensorBus = 72;

// Error codes posted (not recorded) to this thread's queue, oldest first.
inline std::vector<LONG> drainPosted() {
  std::vector<LONG> codes;
  nivexa::test::TestMessage message{};
  while (nivexa::test::takeMessage(nullptr, message, 0)) {
    if (message.message == NIVEXA_WM_ERROR) {
      codes.push_back(static_cast<LONG>(message.lParam));
    }
  }
  return codes;
}

// The codes `op` records on the handle's stack, newest first, including code 0 (which
// Nivexa_GetLastError cannot tell from an empty stack): a marker recorded first bounds them.
template <typename Op>
std::vector<LONG> recordedDuring(LONG h, Op op) {
  drainErrors(h);
  Nivexa_SetBrightness(h, 1000);  // out of range: records 9 as the marker
  op();
  // Below the marker the stack holds only zeros, so the marker is the last code that is not 0.
  std::vector<LONG> codes;
  for (int i = 0; i < 20; ++i) {
    codes.push_back(Nivexa_GetLastError(h));
  }
  while (!codes.empty() && codes.back() == 0) {
    codes.pop_back();
  }
  if (codes.empty() || codes.back() != NIVEXA_ERR_ARGUMENT) {
    ADD_FAILURE() << "the marker was not found";
    return codes;
  }
  codes.pop_back();
  return codes;
}

// A handle initialised with one virtual camera attached, which it therefore opened.
class OpenCameraTest : public ::testing::Test {
 protected:
  virtual sim::CameraOptions cameraOptions() const {
    sim::CameraOptions options;
    options.pacing = sim::Pacing::Fast;
    options.noise = false;
    return options;
  }

  void SetUp() override {
    camera_ = sim::createCamera(cameraOptions());
    h_ = Nivexa_Initialize(nullptr);
    ASSERT_NE(h_, 0);
    drainErrors(h_);
    drainPosted();
    camera_->clearTrace();
  }

  void TearDown() override {
    Nivexa_Release(h_);
    sim::removeCamera(camera_);
    drainPosted();
  }

  // The stored side of the parameter model, which no export reads back directly.
  const AnalogSettings& stored() const {
    auto entry = api::sdkChain().lookup(h_);
    EXPECT_TRUE(entry && entry->camera);
    return entry->camera->Analog();
  }

  uint16_t sensorWord(uint16_t low, uint16_t high, uint8_t highMask) const {
    return static_cast<uint16_t>(camera_->sensorRegister(low) |
                                 (camera_->sensorRegister(high) & highMask) << 8);
  }

  // Register writes the camera saw since the last clearTrace.
  size_t writesSeen() const {
    size_t writes = 0;
    for (const auto& entry : camera_->trace()) {
      writes += entry.write ? 1 : 0;
    }
    return writes;
  }

  std::shared_ptr<sim::Camera> camera_;
  LONG h_ = 0;
};

// A handle with no camera attached: the engine exists but no device is open.
class NoCameraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h_ = Nivexa_Initialize(nullptr);
    ASSERT_NE(h_, 0);
    drainErrors(h_);
    drainPosted();
  }
  void TearDown() override {
    Nivexa_Release(h_);
    drainPosted();
  }

  LONG h_ = 0;
};

}  // namespace nivexa::camera::test

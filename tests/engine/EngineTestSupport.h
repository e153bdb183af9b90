#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/CNivexaUSB3R5SimpleSdk.h"
#include "sim/CameraSet.h"

namespace nivexa::engine::test {

inline constexpr uint8_t kFpga = 0x40;
inline constexpr uint8_t kSensor = 72;

// One virtual camera of this product and an engine with its controller, ready to open it.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::CameraOptions options;
    options.pacing = sim::Pacing::Fast;
    options.noise = false;
    camera_ = sim::createCamera(options);
    engine_ = std::make_unique<CNivexaUSB3R5SimpleSdk>();
    engine_->SetProductId(kProductM7qxTec);
    engine_->CreateController(nullptr);
    ASSERT_EQ(engine_->CountDevices(kProductM7qxTec), 1);
  }

  void TearDown() override {
    engine_.reset();
    sim::removeCamera(camera_);
  }

  void open() {
    ASSERT_TRUE(engine_->IsDeviceNumberValid(0));
    ASSERT_EQ(engine_->CreateSensor(0), 1);
  }

  // Writes to one bus device, in order, as the camera saw them.
  std::vector<std::pair<uint16_t, uint8_t>> writesTo(uint8_t device) const {
    std::vector<std::pair<uint16_t, uint8_t>> writes;
    for (const auto& entry : camera_->trace()) {
      if (entry.device == device && entry.write) {
        writes.emplace_back(entry.address, entry.value);
      }
    }
    return writes;
  }

  std::shared_ptr<sim::Camera> camera_;
  std::unique_ptr<CNivexaUSB3R5SimpleSdk> engine_;
};

// True when `expected` occurs in `actual` in this order (other items may lie between).
template <typename T>
bool inOrder(const std::vector<T>& actual, const std::vector<T>& expected) {
  size_t next = 0;
  for (const auto& item : actual) {
    if (next < expected.size() && item == expected[next]) {
      ++next;
    }
  }
  return next == expected.size();
}

}  // namespace nivexa::engine::test

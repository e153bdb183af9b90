#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "NivexaSdk.h"
#include "api/ApiTestSupport.h"
#include "sim/CameraSet.h"

namespace nivexa::camera::test {

using nivexa::test::drainErrors;
using nivexa::test::Sink;

inline constexpr LONG kFullWidth = 2048;
inline constexpr LONG kFullHeight = 1536;
inline constexpr size_t kFullFrame8 = size_t{kFullWidth} * kFullHeight;

inline sim::CameraOptions fastCamera(const char* serial = "VC0001") {
  sim::CameraOptions options;
  options.pacing = sim::Pacing::Fast;
  options.noise = false;
  options.serial = serial;
  return options;
}

// One virtual camera, attached before the handle is made, so that initialisation opens it.
class CameraTest : public ::testing::Test {
 protected:
  // Fast and noiseless unless a test needs the camera's own timing.
  virtual sim::CameraOptions cameraOptions() const { return fastCamera(); }

  void SetUp() override {
    camera_ = sim::createCamera(cameraOptions());
    h_ = Nivexa_Initialize(notify_);
    ASSERT_NE(h_, 0);
    ASSERT_EQ(drainErrors(h_), std::vector<LONG>{});
    notify_.take();
  }

  void TearDown() override {
    if (h_ != 0) {
      Nivexa_Release(h_);
    }
    sim::removeCamera(camera_);
  }

  // The error codes recorded since the last call, newest first.
  std::vector<LONG> errors() { return drainErrors(h_); }

  Sink notify_;
  std::shared_ptr<sim::Camera> camera_;
  LONG h_ = 0;
};

// Waits for the next message to the sink, up to `timeoutMs`.
inline bool nextMessage(HWND sink, nivexa::test::TestMessage& message, LONG timeoutMs = 5000) {
  return nivexa::test::takeMessage(sink, message, timeoutMs) != 0;
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace nivexa::camera::test

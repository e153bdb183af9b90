// Parameters and streams: what a change while a stream runs does, and what a stream preparation
// sends to the camera from the stored values.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "camera/ParameterTestSupport.h"

namespace nivexa::camera::test {
namespace {

using nivexa::test::Sink;

constexpr uint16_t kGainLow = 0x714;
constexpr uint16_t kGainHigh = 0x715;
constexpr uint16_t kGainMode = 0x710;
constexpr uint16_t kBlackLow = 0x7C0;
constexpr uint16_t kBlackHigh = 0x7C1;
constexpr size_t kFullFrame16 = size_t{2048} * 1536 * 2;

struct Delivered {
  LONG width = 0;
  LONG height = 0;
  LONG bitsPerPixel = 0;
};

// The next frame announced to the sink, read while the message is handled as applications do.
bool nextFrame(HWND sink, Delivered& frame) {
  nivexa::test::TestMessage message{};
  // Generous: a sanitizer build on a busy machine may take seconds for one full frame.
  while (nivexa::test::takeMessage(sink, message, 20000)) {
    if (message.message != NIVEXA_WM_FRAME) {
      continue;
    }
    if (message.wParam == 0) {
      ADD_FAILURE() << "frame error " << message.lParam;
      return false;
    }
    const auto* info = reinterpret_cast<const NivexaFrameInfo*>(message.wParam);
    const auto field = [](const LONG& value) { return std::atomic_ref<const LONG>(value).load(); };
    frame = {field(info->width), field(info->height), field(info->bitsPerPixel)};
    return true;
  }
  ADD_FAILURE() << "no frame within 20 s";
  return false;
}

class StreamingParameters : public OpenCameraTest {
 protected:
  void TearDown() override {
    Nivexa_StopPreview(h_);
    OpenCameraTest::TearDown();
  }

  Sink frames_;
  std::vector<BYTE> buffer_ = std::vector<BYTE>(kFullFrame16);
};

TEST_F(StreamingParameters, ColourModeChangeWaitsForTheNextStream) {
  ASSERT_EQ(Nivexa_SetWaitTime(h_, 0), 1);
  ASSERT_EQ(
      Nivexa_CallBackPreview(h_, frames_, buffer_.data(), static_cast<LONG>(buffer_.size()), 0), 1);
  Delivered frame;
  ASSERT_TRUE(nextFrame(frames_, frame));
  EXPECT_EQ(frame.bitsPerPixel, 8);

  EXPECT_EQ(Nivexa_SetColorMode(h_, 16), 1);
  EXPECT_EQ(Nivexa_GetColorMode(h_), 16) << "the stored mode changes at once";
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(nextFrame(frames_, frame));
    EXPECT_EQ(frame.bitsPerPixel, 8) << "the running stream keeps its bitmaps";
    EXPECT_EQ(frame.width, 2048);
  }
  EXPECT_TRUE(drainErrors(h_).empty());

  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  frames_.take();
  ASSERT_EQ(
      Nivexa_CallBackPreview(h_, frames_, buffer_.data(), static_cast<LONG>(buffer_.size()), 0), 1);
  ASSERT_TRUE(nextFrame(frames_, frame));
  EXPECT_EQ(frame.bitsPerPixel, 16) << "the next preparation uses the new mode";
}

TEST_F(StreamingParameters, EngineSettingsTakeEffectWithoutRestartingTheStream) {
  ASSERT_EQ(Nivexa_SetWaitTime(h_, 0), 1);
  ASSERT_EQ(Nivexa_SetExposureTime(h_, 100), 1);
  ASSERT_EQ(
      Nivexa_CallBackPreview(h_, frames_, buffer_.data(), static_cast<LONG>(buffer_.size()), 0), 1);
  Delivered frame;
  ASSERT_TRUE(nextFrame(frames_, frame));
  const double before = camera_->imageSettings().signalScale;
  EXPECT_EQ(Nivexa_SetRealExposureTime(h_, 20000), 1);
  EXPECT_EQ(Nivexa_SetGlobalGain(h_, 100), 1);
  EXPECT_EQ(Nivexa_SetBrightness(h_, 50), 1);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(nextFrame(frames_, frame));
  }
  EXPECT_GT(camera_->imageSettings().signalScale, before * 2.0);
  EXPECT_EQ(sensorWord(kGainLow, kGainHigh, 0x01), 100);
  EXPECT_EQ(Nivexa_SnapShot(h_, nullptr, 0, 0), 0) << "still previewing";
  EXPECT_EQ(drainErrors(h_), std::vector<LONG>{NIVEXA_ERR_NO_CAMERA});
}

using StreamPreparation = OpenCameraTest;

TEST_F(StreamPreparation, SendsTheStoredAnalogSettingsAgain) {
  ASSERT_EQ(Nivexa_SetGlobalGain(h_, 300), 1);
  ASSERT_EQ(Nivexa_SetExposureTime(h_, 1500), 1);
  ASSERT_EQ(Nivexa_SetFilterValue(h_, 106, 333), 1);
  camera_->clearTrace();
  ASSERT_EQ(Nivexa_SnapShot(h_, nullptr, 0, 0), 1);
  const auto wrote = [&](uint16_t address, uint8_t value) {
    for (const auto& entry : camera_->trace()) {
      if (entry.device == kSensorBus && entry.write && entry.address == address &&
          entry.value == value) {
        return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(wrote(kGainLow, 300 & 0xFF) && wrote(kGainHigh, 300 >> 8)) << "the global gain";
  EXPECT_TRUE(wrote(kBlackLow, 333 & 0xFF) && wrote(kBlackHigh, 333 >> 8)) << "the black level";
  EXPECT_EQ(sensorWord(kGainLow, kGainHigh, 0x01), 300);
  EXPECT_EQ(camera_->imageSettings().blackLevel, 333);
  // The exposure goes as seconds (this engine takes them) and all three views still agree.
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetExposureTime(h_, &ok), 1500);
  EXPECT_DOUBLE_EQ(Nivexa_GetExposureTimeEx(h_, &ok), 0.15);
  EXPECT_EQ(Nivexa_GetRealExposureTime(h_, &ok), 150000);
}

TEST_F(StreamPreparation, GainModeWrittenStraightGivesWayToTheStoredOne) {
  ASSERT_EQ(Nivexa_SetFilterValue(h_, 104, 1), 1);
  ASSERT_EQ(camera_->sensorRegister(kGainMode) & 1, 0);
  ASSERT_EQ(Nivexa_SnapShot(h_, nullptr, 0, 0), 1);
  EXPECT_EQ(camera_->sensorRegister(kGainMode) & 1, 1) << "back to the stored high gain";
  BOOL ok = 0;
  EXPECT_EQ(Nivexa_GetFilterValue(h_, 104, &ok), 0);
}

}  // namespace
}  // namespace nivexa::camera::test

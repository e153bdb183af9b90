// The capture thread, its modes and its recovery, against the virtual camera.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/EngineTestSupport.h"
#include "platform/Clock.h"

namespace nivexa::engine::test {
namespace {

using Writes = std::vector<std::pair<uint16_t, uint8_t>>;

bool eventually(const std::function<bool()>& condition, uint32_t limitMs = 5000) {
  const uint32_t start = platform::tickCount();
  while (!condition()) {
    if (platform::tickCount() - start > limitMs) {
      return false;
    }
    platform::sleepMs(1);
  }
  return true;
}

// The consumer's side of the ring: a wait can answer "nothing new" when the write index has come
// round to the read mark, so a consumer waits again, as the camera object's loops do.
int waitForNewFrame(CNivexaU3R5Base& engine, uint32_t limitMs) {
  const uint32_t start = platform::tickCount();
  int result = 2;
  while (result == 2 && platform::tickCount() - start < limitMs) {
    result = engine.WaitForFrame(limitMs);
  }
  return result;
}

class Capture : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    open();
    ASSERT_EQ(engine_->SetOutputDepth(1), 1);
    frame_.resize(engine_->FrameSize());
  }
  std::vector<uint8_t> frame_;
};

TEST_F(Capture, OneFrameModeStoresExactlyOneFrameAndEnds) {
  ASSERT_EQ(engine_->StartCapture(1), 1);
  ASSERT_EQ(engine_->WaitForFrame(3000), 3);
  EXPECT_TRUE(eventually([&] { return !engine_->CaptureRunning(); }));
  EXPECT_EQ(engine_->Ring().writeIndex(), 1);
  EXPECT_FALSE(engine_->TransferFailed());
  ASSERT_EQ(engine_->CopyNewestFrame(frame_), 1);
  EXPECT_EQ(engine_->WaitForFrame(20), 2) << "nothing new since the copy";
  // A 16-bit frame carries 12 significant bits; a lit scene is not all black.
  uint32_t maxSample = 0;
  for (size_t i = 0; i + 1 < frame_.size(); i += 2) {
    maxSample = std::max<uint32_t>(maxSample, frame_[i] | frame_[i + 1] << 8);
  }
  EXPECT_GT(maxSample, 0u);
  EXPECT_LE(maxSample, 4095u);
}

TEST_F(Capture, FifthFrameLandsInSlotZero) {
  for (int n = 0; n < 5; ++n) {
    ASSERT_EQ(engine_->StartCapture(1), 1);
    ASSERT_EQ(engine_->WaitForFrame(3000), 3) << n;
    ASSERT_TRUE(eventually([&] { return !engine_->CaptureRunning(); }));
    ASSERT_EQ(engine_->CopyNewestFrame(frame_), 1);
  }
  EXPECT_EQ(engine_->Ring().writeIndex(), 1);
  EXPECT_EQ(engine_->Ring().newestSlot(), 0);
}

TEST_F(Capture, CopyIntoABufferOneByteShortFails) {
  ASSERT_EQ(engine_->StartCapture(1), 1);
  ASSERT_EQ(engine_->WaitForFrame(3000), 3);
  std::vector<uint8_t> shortBuffer(engine_->FrameSize() - 1, 0xEE);
  EXPECT_EQ(engine_->CopyNewestFrame(shortBuffer), 0);
  EXPECT_EQ(shortBuffer.front(), 0xEE);
  EXPECT_EQ(engine_->Ring().readMark(), 3) << "a failed copy marks nothing read";
}

TEST_F(Capture, TriggeredModeWaitsForTheFpgaFrameCounter) {
  ASSERT_EQ(engine_->SetTriggerMode(1, 1), 1);
  ASSERT_EQ(engine_->StartCapture(2), 1);
  EXPECT_EQ(engine_->WaitForFrame(200), 2) << "no trigger, no frame";
  EXPECT_EQ(engine_->TriggeredFrameCount(), 0);
  const uint8_t before = camera_->fpgaRegister(8);
  ASSERT_TRUE(camera_->fireTrigger());
  ASSERT_EQ(engine_->WaitForFrame(3000), 3);
  EXPECT_TRUE(eventually([&] { return !engine_->CaptureRunning(); }));
  EXPECT_EQ(engine_->TriggeredFrameCount(), 1);
  EXPECT_EQ(engine_->LastFrameTag(), static_cast<uint8_t>(before + 1));
  uint32_t number = 0;
  ASSERT_EQ(engine_->CopyNewestFrameWithInfo(frame_, &number, nullptr, nullptr, nullptr, nullptr),
            1);
  EXPECT_EQ(number, static_cast<uint8_t>(before + 1)) << "triggered frames carry the FPGA count";
}

TEST_F(Capture, HeaderOnlyModeMovesNoWriteIndex) {
  ASSERT_EQ(engine_->StartCapture(3), 1);
  EXPECT_TRUE(eventually([&] { return !engine_->CaptureRunning(); }));
  EXPECT_EQ(engine_->Ring().writeIndex(), 0);
  EXPECT_EQ(engine_->WaitForFrame(50), 2) << "a header alone does not announce a frame";
  FrameSlotInfo info;
  uint32_t counter = 0xFFFF;
  uint8_t scratch[8];
  (void)scratch;
  const_cast<FrameRing&>(engine_->Ring()).readSlot(0, 0, [&](auto, const FrameSlotInfo& slot) {
    info = slot;
  });
  counter = info.headerCounter;
  EXPECT_NE(counter, 0xFFFFu) << "the header's words reached the slot at the write index";
  EXPECT_EQ(info.frameNumber, 0xFFFFFFFFu) << "but no frame did";
}

TEST_F(Capture, ContinuousModeDeliversFramesWithRates) {
  ASSERT_EQ(engine_->StartCapture(0), 1);
  int frames = 0;
  const uint32_t start = platform::tickCount();
  while (frames < 12 && platform::tickCount() - start < 5000) {
    if (engine_->WaitForFrame(1000) == 3 && engine_->CopyNewestFrame(frame_)) {
      ++frames;
    }
  }
  EXPECT_EQ(frames, 12);
  EXPECT_GT(engine_->TransferRate(), 0.0);
  EXPECT_TRUE(engine_->CaptureRunning());
  EXPECT_EQ(engine_->StopCapture(), 1);
  EXPECT_FALSE(engine_->CaptureRunning());
  EXPECT_EQ(engine_->CaptureMode(), 0);
}

TEST_F(Capture, UnplugEndsTheLoopAfterFiveFailedReads) {
  ASSERT_EQ(engine_->StartCapture(0), 1);
  ASSERT_EQ(waitForNewFrame(*engine_, 3000), 3);
  camera_->unplug();
  ASSERT_TRUE(eventually([&] { return !engine_->CaptureRunning(); }, 20000));
  EXPECT_TRUE(engine_->TransferFailed());
  EXPECT_EQ(engine_->WaitForFrame(0), 1);
  EXPECT_EQ(engine_->StopCapture(), 1);
}

TEST_F(Capture, ShortPayloadsAreNeverStoredAsFrames) {
  camera_->setFault(sim::Fault::ShortRead);
  engine_->SetFrameTimeout(200);  // each short payload then fails within 200 ms
  ASSERT_EQ(engine_->StartCapture(1), 1);
  ASSERT_TRUE(eventually([&] { return !engine_->CaptureRunning(); }, 20000));
  EXPECT_TRUE(engine_->TransferFailed());
  EXPECT_EQ(engine_->Ring().writeIndex(), 0) << "nothing was stored";
  camera_->clearFaults();
  ASSERT_EQ(engine_->StartCapture(1), 1);
  EXPECT_EQ(engine_->WaitForFrame(3000), 3) << "the next start works again";
}

TEST_F(Capture, AnnouncedLengthBelowTheFrameIsAFailedRead) {
  // A wrongly announced header costs one read; the loop recovers and the next frame is whole.
  camera_->setFault(sim::Fault::WrongPayloadLength, 1);
  ASSERT_EQ(engine_->StartCapture(1), 1);
  EXPECT_EQ(engine_->WaitForFrame(10000), 3);
  EXPECT_FALSE(engine_->TransferFailed());
}

TEST_F(Capture, StopOnAStoppedEngineStillRestartsStreaming) {
  camera_->clearTrace();
  EXPECT_EQ(engine_->StopCapture(), 1);
  EXPECT_TRUE(inOrder(writesTo(kFpga), Writes{{108, 1}, {108, 0}, {0x68, 2}}))
      << "frame restart pulse, then the stream reset";
  EXPECT_EQ(engine_->CaptureMode(), 0);
}

TEST_F(Capture, StopWhileStreamingEndsTheThreadPromptly) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(engine_->StartCapture(0), 1);
    ASSERT_EQ(waitForNewFrame(*engine_, 3000), 3);
    EXPECT_EQ(engine_->StopCapture(), 1);
    EXPECT_FALSE(engine_->CaptureRunning());
  }
}

TEST(TwoCameras, StreamSideBySideWithTheirOwnRates) {
  sim::CameraOptions options;
  options.pacing = sim::Pacing::Fast;
  options.noise = false;
  auto first = sim::createCamera(options);
  options.serial = "VC0002";
  auto second = sim::createCamera(options);
  std::vector<std::unique_ptr<CNivexaUSB3R5SimpleSdk>> engines;
  for (int device = 0; device < 2; ++device) {
    auto engine = std::make_unique<CNivexaUSB3R5SimpleSdk>();
    engine->SetProductId(kProductM7qxTec);
    engine->CreateController(nullptr);
    ASSERT_EQ(engine->CountDevices(kProductM7qxTec), 2);
    ASSERT_EQ(engine->CreateSensor(device), 1) << device;
    ASSERT_EQ(engine->SetReadoutWindow(0, 0, 2048, 1536, 1), 1);
    ASSERT_EQ(engine->StartCapture(0), 1);
    engines.push_back(std::move(engine));
  }
  std::vector<std::thread> consumers;
  std::vector<int> counts(2, 0);
  for (int i = 0; i < 2; ++i) {
    consumers.emplace_back([&, i] {
      std::vector<uint8_t> frame(engines[i]->FrameSize());
      const uint32_t start = platform::tickCount();
      while (counts[i] < 20 && platform::tickCount() - start < 8000) {
        if (engines[i]->WaitForFrame(500) == 3 && engines[i]->CopyNewestFrame(frame)) {
          ++counts[i];
        }
      }
    });
  }
  for (auto& consumer : consumers) {
    consumer.join();
  }
  for (auto& engine : engines) {
    EXPECT_EQ(engine->StopCapture(), 1);
  }
  EXPECT_EQ(counts[0], 20);
  EXPECT_EQ(counts[1], 20);
  engines.clear();
  sim::removeCamera(first);
  sim::removeCamera(second);
}

}  // namespace
}  // namespace nivexa::engine::test

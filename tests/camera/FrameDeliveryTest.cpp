// Frames reaching the application: snapshots, the image copy, callback previews with their
// messages and frame information records, triggered frames, and a camera lost mid-stream.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "camera/CameraTestSupport.h"
#include "platform/Process.h"

namespace nivexa::camera::test {
namespace {

using Clock = std::chrono::steady_clock;

// The record as the application reads it while the next frame may already be filling it.
NivexaFrameInfo readRecord(uintptr_t address) {
  auto* record = reinterpret_cast<NivexaFrameInfo*>(address);
  NivexaFrameInfo copy{};
  copy.reserved = std::atomic_ref<LONG>(record->reserved).load();
  copy.width = std::atomic_ref<LONG>(record->width).load();
  copy.height = std::atomic_ref<LONG>(record->height).load();
  copy.bitsPerPixel = std::atomic_ref<LONG>(record->bitsPerPixel).load();
  copy.frameRate = std::atomic_ref<LONG>(record->frameRate).load();
  copy.buffer = std::atomic_ref<BYTE*>(record->buffer).load();
  return copy;
}

size_t threadCount() {
  return nivexa::platform::threadCount();
}

class Frames : public CameraTest {
 protected:
  // Waits for the next frame message, skipping nothing: any other message fails the test.
  nivexa::test::TestMessage nextFrame(LONG timeoutMs = 5000) {
    nivexa::test::TestMessage message{};
    EXPECT_TRUE(nextMessage(frames_, message, timeoutMs)) << "no frame message in time";
    EXPECT_EQ(message.message, static_cast<uint32_t>(NIVEXA_WM_FRAME));
    return message;
  }

  // Unplugs the camera of a running stream: the stream ends with 0x8002 carrying 13, and 13 is
  // on the stack. Then replugs it and selects it again.
  void unplugExpectingTheLossThenReplug() {
    camera_->unplug();
    nivexa::test::TestMessage message{};
    bool lost = false;
    while (!lost && nextMessage(frames_, message, 10000)) {
      lost = message.lParam == NIVEXA_ERR_STREAM_LOST;
    }
    ASSERT_TRUE(lost) << "0x8002 with lParam 13";
    EXPECT_EQ(message.wParam, 0u);
    EXPECT_EQ(Nivexa_GetLastError(h_), NIVEXA_ERR_STREAM_LOST);
    EXPECT_EQ(Nivexa_SnapShot(h_, nullptr, 0, 0), 0) << "still in its acquisition mode";
    EXPECT_EQ(Nivexa_GetLastError(h_), NIVEXA_ERR_NO_CAMERA);
    ASSERT_EQ(Nivexa_StopPreview(h_), 1);
    errors();
    camera_->replug();
    ASSERT_EQ(Nivexa_SetDeviceNumber(h_, 0), 1);
    frames_.take();
  }

  Sink frames_;
  std::vector<uint8_t> image_ = std::vector<uint8_t>(kFullFrame8 * 2);
};

TEST_F(Frames, SnapShotRowOrderAndTheImageCopyAgree) {
  std::vector<uint8_t> topFirst(kFullFrame8);
  std::vector<uint8_t> bottomFirst(kFullFrame8);
  ASSERT_EQ(Nivexa_SnapShot(h_, topFirst.data(), LONG(topFirst.size()), 1), 1);
  ASSERT_EQ(Nivexa_GetImage(h_, bottomFirst.data(), LONG(bottomFirst.size()), 0), 1);
  for (LONG y = 0; y < kFullHeight; y += 97) {
    EXPECT_EQ(std::memcmp(&topFirst[size_t(y) * kFullWidth],
                          &bottomFirst[size_t(kFullHeight - 1 - y) * kFullWidth], kFullWidth),
              0)
        << "row " << y;
  }
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(Frames, SixteenBitFramesCarryTwelveBitSamples) {
  ASSERT_EQ(Nivexa_SetColorMode(h_, 16), 1);
  const LONG size = LONG(kFullFrame8 * 2);
  EXPECT_EQ(Nivexa_SnapShot(h_, image_.data(), size - 1, 1), 0) << "one byte short";
  EXPECT_EQ(errors(), (std::vector<LONG>{5, 5}));
  ASSERT_EQ(Nivexa_SnapShot(h_, image_.data(), size, 1), 1);
  uint16_t highest = 0;
  for (size_t i = 0; i < kFullFrame8; ++i) {
    highest = std::max<uint16_t>(highest, uint16_t(image_[2 * i] | image_[2 * i + 1] << 8));
  }
  EXPECT_GT(highest, 255) << "more than 8 bits of signal";
  EXPECT_LE(highest, 4095);
}

TEST_F(Frames, SnapShotWithoutBufferStillProcessesAndGetImageReturnsIt) {
  EXPECT_EQ(Nivexa_GetImage(h_, image_.data(), LONG(kFullFrame8), 1), 0) << "no image yet";
  EXPECT_EQ(errors(), std::vector<LONG>{5});
  EXPECT_EQ(Nivexa_SnapShot(h_, nullptr, LONG(kFullFrame8), 1), 1);
  EXPECT_EQ(Nivexa_SnapShot(h_, image_.data(), 0, 1), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
  std::fill(image_.begin(), image_.end(), 0xEE);
  EXPECT_EQ(Nivexa_GetImage(h_, image_.data(), LONG(kFullFrame8) - 1, 1), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{5, 5}));
  EXPECT_TRUE(std::all_of(image_.begin(), image_.end(), [](uint8_t v) { return v == 0xEE; }))
      << "a refused copy writes nothing";
  EXPECT_EQ(Nivexa_GetImage(h_, nullptr, LONG(kFullFrame8), 1), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{5});
  ASSERT_EQ(Nivexa_GetImage(h_, image_.data(), LONG(image_.size()), 1), 1);
  EXPECT_EQ(image_[kFullFrame8], 0xEE) << "nothing past the image";
}

TEST_F(Frames, CaptureKeepsTheStreamPreparedBetweenSnapShots) {
  ASSERT_EQ(Nivexa_Capture(h_), 1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Nivexa_SnapShot(h_, image_.data(), LONG(kFullFrame8), 1), 1) << i;
  }
  EXPECT_EQ(Nivexa_StartPreview(h_), 0) << "still capturing";
  EXPECT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_EQ(Nivexa_StartPreview(h_), 1) << "idle again";
  EXPECT_EQ(errors(), std::vector<LONG>{1});
}

TEST_F(Frames, StartPreviewTwiceRunsOneAcquisitionThread) {
  const size_t before = threadCount();
  ASSERT_EQ(Nivexa_StartPreview(h_), 1);
  const size_t running = threadCount();
  EXPECT_EQ(Nivexa_StartPreview(h_), 1);
  EXPECT_EQ(threadCount(), running) << "no second loop";
  EXPECT_GT(running, before);
  EXPECT_EQ(Nivexa_SnapShot(h_, nullptr, 0, 0), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{1});
  EXPECT_EQ(Nivexa_StopPreview(h_), 1);
}

TEST_F(Frames, CallBackPreviewAnnouncesEachFrameWithItsRecord) {
  ASSERT_EQ(Nivexa_SetWaitTime(h_, 20), 1);
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, image_.data(), LONG(kFullFrame8), 1), 1);
  uintptr_t record = 0;
  LONG lastRate = 0;
  const auto start = Clock::now();
  int delivered = 0;
  // Enough frames, over more than the one second after which a rate is reported.
  while (delivered < 12 || secondsSince(start) < 1.5) {
    const nivexa::test::TestMessage message = nextFrame(10000);
    ASSERT_EQ(message.lParam, 0);
    ASSERT_NE(message.wParam, 0u);
    if (record == 0) {
      record = message.wParam;
    }
    EXPECT_EQ(message.wParam, record) << "always the object's one record";
    const NivexaFrameInfo info = readRecord(message.wParam);
    EXPECT_EQ(info.reserved, 0);
    EXPECT_EQ(info.width, kFullWidth);
    EXPECT_EQ(info.height, kFullHeight);
    EXPECT_EQ(info.bitsPerPixel, 8);
    EXPECT_EQ(info.buffer, image_.data());
    lastRate = info.frameRate;
    ++delivered;
  }
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  // Every processed frame was announced once: the messages still queued are the rest.
  delivered += int(frames_.take().size());
  EXPECT_GT(lastRate, 0) << "a rate after the first second";
  EXPECT_LE(lastRate, 10 * 1000 / 20 + 10) << "the wait time bounds the rate";
  EXPECT_EQ(errors(), std::vector<LONG>{});
  std::vector<uint8_t> copy(kFullFrame8);
  ASSERT_EQ(Nivexa_GetImage(h_, copy.data(), LONG(copy.size()), 1), 1);
  EXPECT_EQ(std::memcmp(copy.data(), image_.data(), copy.size()), 0)
      << "the callback buffer holds the last processed image";
}

TEST_F(Frames, TooSmallCallbackBufferIsAnnouncedAndNothingCopied) {
  std::fill(image_.begin(), image_.end(), 0xEE);
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, image_.data(), LONG(kFullFrame8) - 1, 1), 1);
  const nivexa::test::TestMessage message = nextFrame();
  EXPECT_EQ(message.wParam, 0u);
  EXPECT_EQ(message.lParam, NIVEXA_ERR_MEMORY);
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  for (const auto& later : frames_.take()) {
    EXPECT_EQ(later.lParam, NIVEXA_ERR_MEMORY) << "no frame is announced as delivered";
  }
  EXPECT_TRUE(std::all_of(image_.begin(), image_.end(), [](uint8_t v) { return v == 0xEE; }));
  const auto codes = errors();
  EXPECT_FALSE(codes.empty());
  EXPECT_TRUE(std::all_of(codes.begin(), codes.end(), [](LONG c) { return c == 5; }));
}

TEST_F(Frames, ColourModeChangeWaitsForTheNextStream) {
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, image_.data(), LONG(image_.size()), 1), 1);
  nextFrame();
  ASSERT_EQ(Nivexa_SetColorMode(h_, 16), 1);
  frames_.take();
  EXPECT_EQ(readRecord(nextFrame().wParam).bitsPerPixel, 8) << "the running stream keeps 8 bits";
  EXPECT_EQ(Nivexa_GetImage(h_, image_.data(), LONG(kFullFrame8), 1), 1);
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  frames_.take();
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, image_.data(), LONG(image_.size()), 1), 1);
  EXPECT_EQ(readRecord(nextFrame().wParam).bitsPerPixel, 16);
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(Frames, UnpluggedCameraEndsThePreviewAndReplugRecovers) {
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, image_.data(), LONG(kFullFrame8), 1), 1);
  nextFrame();
  ASSERT_NO_FATAL_FAILURE(unplugExpectingTheLossThenReplug());
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, image_.data(), LONG(kFullFrame8), 1), 1);
  const nivexa::test::TestMessage message = nextFrame();
  EXPECT_EQ(message.lParam, 0);
  EXPECT_NE(message.wParam, 0u);
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(Frames, UnpluggedCameraFailsASnapShotWithoutHanging) {
  camera_->unplug();
  const auto start = Clock::now();
  EXPECT_EQ(Nivexa_SnapShot(h_, image_.data(), LONG(kFullFrame8), 1), 0);
  EXPECT_LT(secondsSince(start), 8.0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_DEVICE}) << "the device is gone";
  EXPECT_EQ(Nivexa_GetImage(h_, image_.data(), LONG(kFullFrame8), 1), 0) << "no image exists";
  EXPECT_EQ(Nivexa_Close(h_), 1);
}

TEST_F(Frames, TriggerReleasesExactlyOneFramePerTrigger) {
  ASSERT_EQ(Nivexa_Trigger(h_, frames_, image_.data(), LONG(kFullFrame8), 1), 1);
  nivexa::test::TestMessage message{};
  EXPECT_FALSE(nextMessage(frames_, message, 400)) << "nothing without a trigger";
  for (int i = 0; i < 4; ++i) {
    // The loop re-arms after each frame; a trigger before that would expose nothing.
    bool exposed = false;
    for (int attempt = 0; attempt < 200 && !exposed; ++attempt) {
      exposed = camera_->fireTrigger();
      if (!exposed) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    ASSERT_TRUE(exposed) << i;
    message = nextFrame();
    EXPECT_EQ(message.lParam, 0);
    const NivexaFrameInfo info = readRecord(message.wParam);
    EXPECT_EQ(info.frameRate, 0);
    EXPECT_EQ(info.width, kFullWidth);
    EXPECT_EQ(info.buffer, image_.data());
    EXPECT_FALSE(nextMessage(frames_, message, 150)) << "one frame for trigger " << i;
  }
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

// Firing until the loop, which re-arms after each frame, takes a trigger. A trigger while the
// loop still lets the exposure under way at the mode switch settle exposes a frame that the loop
// then counts as seen, so the first one waits for the settling (about 110 ms here) to pass.
bool fireWhenArmed(sim::Camera& camera, bool first = false) {
  if (first) {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
  }
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (camera.fireTrigger()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

TEST_F(Frames, UnpluggedCameraInTriggerModeIsReportedAndReplugRecovers) {
  ASSERT_EQ(Nivexa_Trigger(h_, frames_, image_.data(), LONG(kFullFrame8), 1), 1);
  ASSERT_TRUE(fireWhenArmed(*camera_, true));
  EXPECT_EQ(nextFrame().lParam, 0);
  // Unplugged while waiting for the next trigger.
  ASSERT_NO_FATAL_FAILURE(unplugExpectingTheLossThenReplug());
  ASSERT_EQ(Nivexa_Trigger(h_, frames_, image_.data(), LONG(kFullFrame8), 1), 1);
  ASSERT_TRUE(fireWhenArmed(*camera_, true));
  const nivexa::test::TestMessage message = nextFrame();
  EXPECT_EQ(message.lParam, 0);
  EXPECT_NE(message.wParam, 0u);
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

// A buffer the application replaced is its own again once the call returns: the library never
// pairs the new buffer with the old size, nor finishes a copy into the old one afterwards.
TEST_F(Frames, AReplacedCallbackBufferIsNeverWrittenAgainNorTheNewOnePastItsSize) {
  // The longest copies, one after the other: the widest window for a race.
  ASSERT_EQ(Nivexa_SetColorMode(h_, 16), 1);
  ASSERT_EQ(Nivexa_SetWaitTime(h_, 0), 1);
  const size_t frame = kFullFrame8 * 2;
  std::vector<uint8_t> large(frame, 0);
  // The small buffer is the head of a frame-sized block whose tail must stay untouched.
  const size_t smallSize = frame / 4;
  std::vector<uint8_t> smallBlock(frame, 0x5A);
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, large.data(), LONG(frame), 1), 1);
  nextFrame();
  const auto untouched = [](const std::vector<uint8_t>& bytes, size_t from, uint8_t pattern) {
    return std::all_of(bytes.begin() + std::ptrdiff_t(from), bytes.end(),
                       [pattern](uint8_t v) { return v == pattern; });
  };
  for (int round = 0; round < 40; ++round) {
    ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, smallBlock.data(), LONG(smallSize), 1), 1);
    // Filled from the end back, against the direction a copy under way would run, so the two
    // cross and a late copy shows.
    std::fill(large.rbegin(), large.rend(), uint8_t(0xA5));
    // Two frames announced after the swap: any copy under way at the swap has ended.
    for (int seen = 0; seen < 2;) {
      nivexa::test::TestMessage message{};
      ASSERT_TRUE(nextMessage(frames_, message, 5000));
      seen += message.lParam == NIVEXA_ERR_MEMORY ? 1 : 0;
    }
    ASSERT_TRUE(untouched(large, 0, 0xA5)) << "the replaced buffer was written, round " << round;
    ASSERT_TRUE(untouched(smallBlock, 0, 0x5A)) << "the small buffer was written, round " << round;
    ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, large.data(), LONG(frame), 1), 1);
    nextFrame();
  }
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  errors();
}

TEST_F(Frames, AStopEndsThePauseBetweenFramesHoweverLongTheWaitTime) {
  ASSERT_EQ(Nivexa_SetWaitTime(h_, 60000), 1);
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, image_.data(), LONG(kFullFrame8), 1), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = Clock::now();
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  // Far below the minute of wait time, and far above what a sanitizer on a busy machine needs.
  EXPECT_LT(secondsSince(start), 20.0) << "the stop waited out the wait time";
  EXPECT_EQ(Nivexa_SetWaitTime(h_, 10), 1);
  const auto released = Clock::now();
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, image_.data(), LONG(kFullFrame8), 1), 1);
  Nivexa_Release(h_);
  h_ = 0;
  EXPECT_LT(secondsSince(released), 20.0);
}

// Notices queued before a release may be handled after it: the record they point to stays
// readable, and no longer names the application's buffer.
TEST_F(Frames, TheFrameRecordOfAQueuedNoticeOutlivesTheHandle) {
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, image_.data(), LONG(kFullFrame8), 1), 1);
  const uintptr_t record = nextFrame().wParam;
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  Nivexa_Release(h_);
  h_ = 0;
  const NivexaFrameInfo info = readRecord(record);
  EXPECT_EQ(info.buffer, nullptr);
  EXPECT_EQ(info.width, 0);
}

}  // namespace
}  // namespace nivexa::camera::test

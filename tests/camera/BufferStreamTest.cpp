// Buffer streams through the public interface against a virtual camera: who owns a buffer when,
// what fills it, and what the counts say.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <future>
#include <iostream>
#include <thread>
#include <utility>
#include <vector>

#include "CameraTestSupport.h"
#include "NivexaStream.h"
#include "sim/Renderer.h"

namespace nivexa::camera::test {
namespace {

using nivexa::test::Handle;

constexpr uint8_t kHeldPattern = 0xA5;
constexpr int32_t kWaitMs = 5000;
// The callback test's frames, and how long they may take under a thread sanitizer on a busy
// machine.
constexpr int kCallbackFrames = 30;
constexpr int kCallbackLimitS = 300;
// A triggered stream learns of a lost camera only when its next arming fails.
constexpr int32_t kLossWaitMs = 20000;

// An application buffer and its memory. Not copyable: a copy would point at the original's memory.
struct OwnedBuffer {
  explicit OwnedBuffer(size_t bytes) : memory(bytes) {
    buffer.data = memory.data();
    buffer.capacity = static_cast<uint32_t>(bytes);
  }
  OwnedBuffer(const OwnedBuffer&) = delete;
  OwnedBuffer& operator=(const OwnedBuffer&) = delete;
  std::vector<uint8_t> memory;
  NivexaBuffer buffer{};
};

class BufferStream : public CameraTest {
 protected:
  // Buffers held by the fixture, so they outlive the stream even when a failed assertion ends a
  // test early: the teardown stops the stream before they go.
  std::deque<OwnedBuffer>& makeBuffers(size_t count, size_t bytes) {
    std::deque<OwnedBuffer>& buffers = owned_.emplace_back();
    for (size_t i = 0; i < count; ++i) {
      buffers.emplace_back(bytes);
    }
    return buffers;
  }

  // The sensor stays at one temperature, so its dark signal (and so the image) does not drift
  // between a frame and the comparison with it.
  sim::CameraOptions cameraOptions() const override {
    sim::CameraOptions options = fastCamera();
    options.cooledC = options.ambientC;
    return options;
  }

  void TearDown() override {
    NivexaStream_Stop(h_);
    CameraTest::TearDown();
  }

  // A triggered stream, like Nivexa_Trigger, counts frames only once the exposure under way at
  // the switch has ended: triggers before that are not its frames.
  static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(400)); }

  std::deque<std::deque<OwnedBuffer>> owned_;

  bool fireTrigger() {
    // The loop re-arms after each frame; a trigger before that exposes nothing.
    for (int attempt = 0; attempt < 400; ++attempt) {
      if (camera_->fireTrigger()) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
};

TEST_F(BufferStream, RawFramesAreTheCamerasOwnInOrderAndAHeldBufferIsNeverWritten) {
  ASSERT_EQ(Nivexa_SetColorMode(h_, 16), 1);
  const uint32_t bytes = NivexaStream_FrameBytes(h_, 0);
  ASSERT_EQ(bytes, kFullFrame8 * 2);
  auto& buffers = makeBuffers(4, bytes);
  for (auto& b : buffers) {
    ASSERT_EQ(NivexaStream_Queue(h_, &b.buffer), 1);
    EXPECT_EQ(b.buffer.status, NIVEXA_BUFFER_QUEUED);
  }
  ASSERT_EQ(NivexaStream_Start(h_, 0), 1);
  uint64_t delivered = 0;
  // The first frames may have been exposed before the stream's settings reached the camera.
  NivexaBuffer* held = nullptr;
  for (int frame = 0; frame < 5; ++frame) {
    if (held != nullptr) {
      ASSERT_EQ(NivexaStream_Queue(h_, held), 1);
    }
    held = NivexaStream_Wait(h_, kWaitMs);
    ASSERT_NE(held, nullptr);
    ++delivered;
  }
  ASSERT_EQ(held->status, NIVEXA_BUFFER_COMPLETE);
  EXPECT_EQ(held->width, kFullWidth);
  EXPECT_EQ(held->height, kFullHeight);
  EXPECT_EQ(held->bitsPerPixel, 16);
  EXPECT_EQ(held->stride, kFullWidth * 2);
  // The camera renders without noise: the frame is its image, sample for sample, in the
  // little-endian words of 12 significant bits the header promises.
  sim::Renderer renderer(false, 0);
  std::vector<uint8_t> expected(bytes);
  renderer.render(camera_->imageSettings(), 0, expected);
  ASSERT_EQ(std::memcmp(held->data, expected.data(), bytes), 0);
  const auto* samples = static_cast<const uint16_t*>(held->data);
  EXPECT_LE(*std::max_element(samples, samples + kFullFrame8), 4095);

  std::memset(held->data, kHeldPattern, bytes);
  uint32_t previousNumber = held->frameNumber;
  uint64_t previousTime = held->timestampNs;
  for (int more = 0; more < 50; ++more) {
    NivexaBuffer* next = NivexaStream_Wait(h_, kWaitMs);
    ASSERT_NE(next, nullptr) << more;
    ASSERT_NE(next, held);
    ASSERT_EQ(next->status, NIVEXA_BUFFER_COMPLETE);
    EXPECT_GT(next->frameNumber, previousNumber);
    EXPECT_GT(next->timestampNs, previousTime);
    previousNumber = next->frameNumber;
    previousTime = next->timestampNs;
    ++delivered;
    ASSERT_EQ(NivexaStream_Queue(h_, next), 1);
  }
  const auto* memory = static_cast<const uint8_t*>(held->data);
  EXPECT_TRUE(std::all_of(memory, memory + bytes, [](uint8_t v) { return v == kHeldPattern; }));

  ASSERT_EQ(NivexaStream_Stop(h_), 1);
  // The three lent buffers come back, filled before the stop or unwritten, then nothing more.
  for (int i = 0; i < 3; ++i) {
    NivexaBuffer* back = NivexaStream_Wait(h_, 0);
    ASSERT_NE(back, nullptr) << i;
    ASSERT_NE(back, held);
    if (back->status == NIVEXA_BUFFER_COMPLETE) {
      ++delivered;
    } else {
      EXPECT_EQ(back->status, NIVEXA_BUFFER_CANCELLED);
    }
  }
  EXPECT_EQ(NivexaStream_Wait(h_, 0), nullptr);
  NivexaStreamStatistics statistics{};
  ASSERT_EQ(NivexaStream_GetStatistics(h_, &statistics), 1);
  EXPECT_EQ(statistics.framesDelivered, delivered);
  EXPECT_EQ(statistics.bytes, delivered * bytes);
  EXPECT_EQ(statistics.incompleteTransfers + statistics.failedTransfers, 0u);
}

// The callback hands each buffer straight back, so one is always queued: nothing is dropped,
// and every gap between delivered frame numbers is a counted loss.
TEST_F(BufferStream, CallbackFormCountsEveryFrameAndMayStopTheStream) {
  const uint32_t bytes = NivexaStream_FrameBytes(h_, 0);
  ASSERT_EQ(bytes, kFullFrame8);
  auto& buffers = makeBuffers(2, bytes);
  struct Seen {
    LONG h = 0;
    std::atomic<int> complete{0};
    std::atomic<int> cancelled{0};
    uint32_t first = 0;
    uint32_t last = 0;
    std::promise<void> stopped;
  } seen;
  seen.h = h_;
  const auto callback = [](NivexaBuffer* buffer, void* context) {
    auto& s = *static_cast<Seen*>(context);
    if (buffer->status == NIVEXA_BUFFER_CANCELLED) {
      ++s.cancelled;
      return;
    }
    if (s.complete++ == 0) {
      s.first = buffer->frameNumber;
    }
    s.last = buffer->frameNumber;
    if (s.complete == kCallbackFrames) {
      NivexaStream_Stop(s.h);
      s.stopped.set_value();
      return;
    }
    NivexaStream_Queue(s.h, buffer);
  };
  ASSERT_EQ(NivexaStream_SetCallback(h_, callback, &seen), 1);
  for (auto& b : buffers) {
    ASSERT_EQ(NivexaStream_Queue(h_, &b.buffer), 1);
  }
  ASSERT_EQ(NivexaStream_Start(h_, 0), 1);
  ASSERT_EQ(seen.stopped.get_future().wait_for(std::chrono::seconds(kCallbackLimitS)),
            std::future_status::ready);
  // Stopped from inside: once its loop is gone, the other buffer has come back cancelled
  // through the callback and no frame arrives any more.
  ASSERT_EQ(NivexaStream_Stop(h_), 1);
  EXPECT_EQ(seen.cancelled, 1);
  EXPECT_EQ(NivexaStream_Wait(h_, 0), nullptr);
  const int completeAtStop = seen.complete;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(seen.complete, completeAtStop);

  NivexaStreamStatistics statistics{};
  ASSERT_EQ(NivexaStream_GetStatistics(h_, &statistics), 1);
  EXPECT_EQ(statistics.framesDelivered, uint64_t{kCallbackFrames});
  // The virtual camera sends a frame only when asked, so none is ever lost; the frames the
  // camera sent while the callback was busy reached the host and were replaced before the stream
  // took them: dropped.
  EXPECT_EQ(statistics.framesLost, 0u);
  EXPECT_EQ(statistics.framesDropped, uint64_t{seen.last - seen.first + 1} - kCallbackFrames);
  EXPECT_GT(statistics.frameRate, 0.0);
}

TEST_F(BufferStream, TriggeredStreamFillsOneBufferPerTriggerAndCountsTheRestAsDropped) {
  const uint32_t bytes = NivexaStream_FrameBytes(h_, NIVEXA_STREAM_TRIGGERED);
  auto& buffers = makeBuffers(2, bytes);
  for (auto& b : buffers) {
    ASSERT_EQ(NivexaStream_Queue(h_, &b.buffer), 1);
  }
  ASSERT_EQ(NivexaStream_Start(h_, NIVEXA_STREAM_TRIGGERED), 1);
  settle();
  EXPECT_EQ(NivexaStream_Wait(h_, 0), nullptr) << "a frame without a trigger";
  uint32_t previous = 0;
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(fireTrigger()) << i;
    NivexaBuffer* filled = NivexaStream_Wait(h_, kWaitMs);
    ASSERT_NE(filled, nullptr) << i;
    EXPECT_EQ(filled->status, NIVEXA_BUFFER_COMPLETE);
    if (i == 1) {
      EXPECT_EQ(filled->frameNumber, previous + 1);
    }
    previous = filled->frameNumber;
  }
  // Three more, each accounted for before the next: with no buffer queued they are dropped.
  NivexaStreamStatistics statistics{};
  for (uint64_t seen = 3; seen <= 5; ++seen) {
    ASSERT_TRUE(fireTrigger()) << seen;
    for (int attempt = 0; attempt < 500; ++attempt) {
      ASSERT_EQ(NivexaStream_GetStatistics(h_, &statistics), 1);
      if (statistics.framesDelivered + statistics.framesDropped >= seen) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  EXPECT_EQ(statistics.framesDelivered, 2u);
  EXPECT_EQ(statistics.framesDropped, 3u);
  EXPECT_EQ(statistics.framesLost, 0u);
  // A preview cannot start beside it, nor a snapshot run.
  EXPECT_EQ(Nivexa_StartPreview(h_), 0);
  std::vector<uint8_t> frame(kFullFrame8);
  EXPECT_EQ(Nivexa_SnapShot(h_, frame.data(), static_cast<LONG>(frame.size()), 1), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{NIVEXA_ERR_NO_CAMERA, NIVEXA_ERR_NO_CAMERA}));
}

TEST_F(BufferStream, ProcessedFramesAreTheOutputBitmapTopRowFirst) {
  const uint32_t bytes = NivexaStream_FrameBytes(h_, NIVEXA_STREAM_PROCESSED);
  ASSERT_EQ(bytes, kFullFrame8);
  OwnedBuffer& only = makeBuffers(1, bytes)[0];
  ASSERT_EQ(NivexaStream_Queue(h_, &only.buffer), 1);
  ASSERT_EQ(NivexaStream_Start(h_, NIVEXA_STREAM_PROCESSED), 1);
  NivexaBuffer* filled = NivexaStream_Wait(h_, kWaitMs);
  ASSERT_EQ(filled, &only.buffer);
  EXPECT_EQ(filled->bitsPerPixel, 8);
  EXPECT_EQ(filled->stride, kFullWidth);
  // With no buffer queued later frames are dropped unprocessed, so the output bitmap still holds
  // the frame this buffer got.
  std::vector<uint8_t> image(bytes);
  ASSERT_EQ(Nivexa_GetImage(h_, image.data(), static_cast<LONG>(bytes), 1), 1);
  EXPECT_EQ(only.memory, image);
}

TEST_F(BufferStream, WaitersWakeOnStopAndOnReleaseAndAnUnpluggedCameraFailsTheBuffers) {
  auto& buffers = makeBuffers(3, NivexaStream_FrameBytes(h_, 0));
  // No stream and nothing lent: a waiter without a limit is woken by the stop.
  auto waiting = std::async(std::launch::async, [h = h_] { return NivexaStream_Wait(h, -1); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(NivexaStream_Stop(h_), 1);
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), nullptr);

  // Triggered, so no frame fills the other two buffers before the camera goes.
  for (auto& b : buffers) {
    ASSERT_EQ(NivexaStream_Queue(h_, &b.buffer), 1);
  }
  ASSERT_EQ(NivexaStream_Start(h_, NIVEXA_STREAM_TRIGGERED), 1);
  settle();
  ASSERT_TRUE(fireTrigger());
  NivexaBuffer* held = NivexaStream_Wait(h_, kWaitMs);
  ASSERT_NE(held, nullptr);
  errors();
  notify_.take();
  camera_->unplug();
  // The two buffers still lent come back failed.
  for (int i = 0; i < 2; ++i) {
    NivexaBuffer* back = NivexaStream_Wait(h_, kLossWaitMs);
    ASSERT_NE(back, nullptr) << i;
    EXPECT_NE(back, held);
    EXPECT_EQ(back->status, NIVEXA_BUFFER_FAILED);
  }
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_STREAM_LOST});
  // The notice of the preview's lost stream, beside the error's own.
  nivexa::test::TestMessage message{};
  bool noticed = false;
  while (!noticed && nextMessage(notify_, message)) {
    noticed = message.message == NIVEXA_WM_FRAME && message.lParam == NIVEXA_ERR_STREAM_LOST;
  }
  EXPECT_TRUE(noticed);
  NivexaStreamStatistics statistics{};
  ASSERT_EQ(NivexaStream_GetStatistics(h_, &statistics), 1);
  EXPECT_EQ(statistics.failedTransfers, 2u);

  // A release while another thread waits without a limit wakes that thread.
  auto released = std::async(std::launch::async, [h = h_] { return NivexaStream_Wait(h, -1); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(Nivexa_Release(h_), 1);
  ASSERT_EQ(released.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(released.get(), nullptr);
  h_ = 0;
}

// The camera's own timing, for the rate it announces before frames flow.
class BufferStreamAtCameraTiming : public BufferStream {
 protected:
  sim::CameraOptions cameraOptions() const override {
    sim::CameraOptions options = BufferStream::cameraOptions();
    options.pacing = sim::Pacing::Real;
    return options;
  }

  // Frames per second over `frames` frames, from the camera's own counter and the arrival times:
  // what the camera really did, not what the host kept up with. A frame the host reads late
  // arrives late but keeps its number, so the rate is the median of the rates between every two
  // frames: a few frames delayed by a busy machine do not move it, as they would a rate taken
  // from the first and the last frame alone.
  // `announced` is the rate the library gave once the stream had started. `modelKeptUp` is false
  // when the camera model's thread had no time for some periods (a busy or instrumented build):
  // the counter then runs slower than the sensor's clock, which the model alone is to blame for.
  static constexpr int kSettlingFrames = 3;
  struct Measured {
    double rate = 0.0;
    bool modelKeptUp = true;
  };
  Measured measuredRate(int frames, double& announced) {
    std::deque<OwnedBuffer>& buffers = makeBuffers(4, NivexaStream_FrameBytes(h_, 0));
    for (OwnedBuffer& b : buffers) {
      EXPECT_EQ(NivexaStream_Queue(h_, &b.buffer), 1);
    }
    EXPECT_EQ(NivexaStream_Start(h_, 0), 1);
    EXPECT_EQ(NivexaStream_GetFrameRate(h_, &announced), 1);
    std::vector<std::pair<uint32_t, uint64_t>> arrivals;
    uint32_t firstUnrendered = 0;
    Measured measured;
    for (int i = 0; i < frames; ++i) {
      NivexaBuffer* b = NivexaStream_Wait(h_, kWaitMs);
      if (b == nullptr || b->status != NIVEXA_BUFFER_COMPLETE) {
        ADD_FAILURE() << "frame " << i << " did not come";
        break;
      }
      // The first frames after the start are timed by the start, not by the sensor's clock.
      if (i == kSettlingFrames) {
        firstUnrendered = camera_->unrenderedFrames();
      }
      if (i >= kSettlingFrames) {
        arrivals.emplace_back(b->frameNumber, b->timestampNs);
      }
      NivexaStream_Queue(h_, b);
    }
    measured.modelKeptUp = camera_->unrenderedFrames() == firstUnrendered;
    std::vector<double> rates;
    for (size_t i = 0; i < arrivals.size(); ++i) {
      for (size_t j = i + 1; j < arrivals.size(); ++j) {
        if (arrivals[j].second > arrivals[i].second) {
          rates.push_back(static_cast<double>(arrivals[j].first - arrivals[i].first) * 1e9 /
                          static_cast<double>(arrivals[j].second - arrivals[i].second));
        }
      }
    }
    if (!rates.empty()) {
      std::nth_element(rates.begin(), rates.begin() + static_cast<std::ptrdiff_t>(rates.size() / 2),
                       rates.end());
      measured.rate = rates[rates.size() / 2];
    }
    NivexaStream_Stop(h_);
    // The cancelled buffers come back too; the next measurement starts with none outstanding.
    while (NivexaStream_Wait(h_, 0) != nullptr) {
    }
    return measured;
  }
};

TEST_F(BufferStreamAtCameraTiming, AnnouncedRateIsTheRateTheCameraRunsAtForEachDepthAndExposure) {
  double rate = 0.0;
  EXPECT_EQ(NivexaStream_GetFrameRate(h_, nullptr), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_ARGUMENT});
  EXPECT_EQ(NivexaStream_GetFrameRate(12345, &rate), 0);
  EXPECT_EQ(NivexaStream_GetFrameRate(h_, &rate), 1);
  EXPECT_GT(rate, 0.0);
  struct Case {
    LONG bits;
    double exposureS;
  };
  // The depth changes the sensor's line time, the long exposure its frame length.
  for (const Case c : {Case{8, 0.001}, Case{16, 0.001}, Case{8, 0.05}}) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits, exposure " << c.exposureS << " s");
    ASSERT_EQ(Nivexa_SetColorMode(h_, c.bits), 1);
    ASSERT_EQ(Nivexa_SetExposureTimeEx(h_, c.exposureS), 1);
    const Measured measured = measuredRate(c.exposureS > 0.01 ? 24 : 60, rate);
    // The period the sensor's registers program, exactly; the rate frames came at, where the
    // model had the time to make every one.
    EXPECT_NEAR(rate, 1e6 / camera_->framePeriodUs(), rate * 1e-6);
    if (measured.modelKeptUp) {
      EXPECT_NEAR(measured.rate, rate, rate * 0.03) << "announced " << rate << " fps";
    } else {
      std::cout << "the camera model fell behind its clock at " << c.bits << " bits, exposure "
                << c.exposureS << " s; the arrival rate (" << measured.rate
                << " fps) is not compared\n";
    }
  }
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

// A slow callback of a raw stream holds up its own buffers, never the reading of frames: the
// camera's frames keep reaching the host, and those with no buffer to go to are dropped, not
// lost. Run on the thread that reads them, each 40 ms callback would cost the camera's counter
// about three frames.
TEST_F(BufferStreamAtCameraTiming, ASlowCallbackOfARawStreamDropsFramesButLosesNone) {
  constexpr int kSlowFrames = 15;
  const uint32_t bytes = NivexaStream_FrameBytes(h_, 0);
  auto& buffers = makeBuffers(2, bytes);
  struct Seen {
    LONG h = 0;
    std::atomic<int> complete{0};
    std::promise<void> enough;
  } seen;
  seen.h = h_;
  const auto callback = [](NivexaBuffer* buffer, void* context) {
    auto& s = *static_cast<Seen*>(context);
    if (buffer->status != NIVEXA_BUFFER_COMPLETE) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    if (++s.complete == kSlowFrames) {
      s.enough.set_value();
    }
    NivexaStream_Queue(s.h, buffer);
  };
  ASSERT_EQ(NivexaStream_SetCallback(h_, callback, &seen), 1);
  for (auto& b : buffers) {
    ASSERT_EQ(NivexaStream_Queue(h_, &b.buffer), 1);
  }
  const uint32_t unrenderedAtStart = camera_->unrenderedFrames();
  ASSERT_EQ(NivexaStream_Start(h_, 0), 1);
  ASSERT_EQ(seen.enough.get_future().wait_for(std::chrono::seconds(kCallbackLimitS)),
            std::future_status::ready);
  ASSERT_EQ(NivexaStream_Stop(h_), 1);
  NivexaStreamStatistics statistics{};
  ASSERT_EQ(NivexaStream_GetStatistics(h_, &statistics), 1);
  EXPECT_GE(statistics.framesDelivered, uint64_t{kSlowFrames});
  EXPECT_LT(statistics.framesLost, statistics.framesDelivered);
  // A model too slow for its own clock (an instrumented build) may send no more frames than the
  // callback takes.
  if (camera_->unrenderedFrames() == unrenderedAtStart) {
    EXPECT_GT(statistics.framesDropped, statistics.framesDelivered);
  }
}

// A raw stream takes its frames on the capture thread. Once it stops, nothing of it may stay
// behind there: a buffer lent while another acquisition runs stays as the application left it.
// A raw frame is read straight into the oldest queued buffer. A read that breaks off halfway has
// written half a frame there: that buffer must not come back with it, but go back to the head of
// the queue for the next frame, which then fills it whole.
TEST_F(BufferStream, ARawFrameReadThatBreaksOffGivesItsBufferToTheNextFrameUnseen) {
  ASSERT_EQ(Nivexa_SetColorMode(h_, 16), 1);
  const uint32_t bytes = NivexaStream_FrameBytes(h_, 0);
  auto& buffers = makeBuffers(4, bytes);
  for (auto& b : buffers) {
    ASSERT_EQ(NivexaStream_Queue(h_, &b.buffer), 1);
  }
  ASSERT_EQ(NivexaStream_Start(h_, 0), 1);
  sim::Renderer renderer(false, 0);
  std::vector<uint8_t> expected(bytes);
  renderer.render(camera_->imageSettings(), 0, expected);
  // The first frames may have been exposed before the stream's settings reached the camera.
  for (int frame = 0; frame < 8; ++frame) {
    NivexaBuffer* back = NivexaStream_Wait(h_, kWaitMs);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(NivexaStream_Queue(h_, back), 1);
  }
  // The broken frame is lost (its number never comes). It went into a lent buffer when no frame
  // of the attempt was dropped: every frame then had one. A consumer held up by a busy machine
  // can leave the stream without buffers for a moment, so the attempt is made again.
  constexpr int kAttempts = 5;
  bool brokeIntoABuffer = false;
  for (int attempt = 0; attempt < kAttempts && !brokeIntoABuffer; ++attempt) {
    NivexaStreamStatistics before{};
    ASSERT_EQ(NivexaStream_GetStatistics(h_, &before), 1);
    camera_->setFault(sim::Fault::ShortRead, 1);
    for (int frame = 0; frame < 6; ++frame) {
      NivexaBuffer* back = NivexaStream_Wait(h_, kWaitMs);
      ASSERT_NE(back, nullptr) << frame;
      ASSERT_EQ(back->status, NIVEXA_BUFFER_COMPLETE) << frame;
      ASSERT_EQ(std::memcmp(back->data, expected.data(), bytes), 0) << "frame " << frame;
      ASSERT_EQ(NivexaStream_Queue(h_, back), 1);
    }
    NivexaStreamStatistics after{};
    ASSERT_EQ(NivexaStream_GetStatistics(h_, &after), 1);
    EXPECT_EQ(after.incompleteTransfers + after.failedTransfers, 0u);
    ASSERT_GT(after.framesLost, before.framesLost) << "the read did not break off";
    brokeIntoABuffer = after.framesDropped == before.framesDropped;
  }
  EXPECT_TRUE(brokeIntoABuffer) << "in " << kAttempts << " attempts, frames were always dropped";
  // Every buffer is accounted for: none stayed behind with the read that broke off.
  ASSERT_EQ(NivexaStream_Stop(h_), 1);
  size_t back = 0;
  while (NivexaStream_Wait(h_, 0) != nullptr) {
    ++back;
  }
  EXPECT_EQ(back, buffers.size());
}

TEST_F(BufferStream, ABufferLentAfterARawStreamIsNotWrittenByTheNextPreview) {
  const uint32_t bytes = NivexaStream_FrameBytes(h_, 0);
  OwnedBuffer& lent = makeBuffers(1, bytes)[0];
  ASSERT_EQ(NivexaStream_Queue(h_, &lent.buffer), 1);
  ASSERT_EQ(NivexaStream_Start(h_, 0), 1);
  ASSERT_EQ(NivexaStream_Wait(h_, kWaitMs), &lent.buffer);
  ASSERT_EQ(NivexaStream_Stop(h_), 1);

  std::memset(lent.buffer.data, kHeldPattern, bytes);
  ASSERT_EQ(NivexaStream_Queue(h_, &lent.buffer), 1);
  ASSERT_EQ(Nivexa_StartPreview(h_), 1);
  const uint32_t sentBefore = camera_->lastDelivery().frame;
  for (int wait = 0; wait < 3000 && camera_->lastDelivery().frame < sentBefore + 10; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GE(camera_->lastDelivery().frame, sentBefore + 10) << "the preview took no frames";
  EXPECT_EQ(lent.buffer.status, NIVEXA_BUFFER_QUEUED);
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  ASSERT_EQ(NivexaStream_Wait(h_, 0), &lent.buffer);
  EXPECT_EQ(lent.buffer.status, NIVEXA_BUFFER_CANCELLED);
  const auto* memory = static_cast<const uint8_t*>(lent.buffer.data);
  EXPECT_TRUE(std::all_of(memory, memory + bytes, [](uint8_t v) { return v == kHeldPattern; }));
}

TEST_F(BufferStream, BadInputIsRefusedWithItsCode) {
  const uint32_t bytes = NivexaStream_FrameBytes(h_, 0);
  OwnedBuffer& good = makeBuffers(1, bytes)[0];
  OwnedBuffer& small = makeBuffers(1, bytes - 1)[0];
  NivexaBuffer noData{};
  noData.capacity = bytes;
  EXPECT_EQ(NivexaStream_Queue(h_, nullptr), 0);
  EXPECT_EQ(NivexaStream_Queue(h_, &noData), 0);
  ASSERT_EQ(NivexaStream_Queue(h_, &good.buffer), 1);
  EXPECT_EQ(NivexaStream_Queue(h_, &good.buffer), 0);
  Handle other;
  EXPECT_EQ(NivexaStream_Queue(other, &good.buffer), 0);
  EXPECT_EQ(NivexaStream_Start(h_, 0x80), 0);
  EXPECT_EQ(NivexaStream_GetStatistics(h_, nullptr), 0);
  EXPECT_EQ(errors(),
            (std::vector<LONG>{NIVEXA_ERR_ARGUMENT, NIVEXA_ERR_ARGUMENT, NIVEXA_ERR_ARGUMENT,
                               NIVEXA_ERR_ARGUMENT, NIVEXA_ERR_ARGUMENT}));
  // A buffer too small for the stream: refused once the stream knows its frame size, and one
  // lent before that comes back cancelled at the start.
  ASSERT_EQ(NivexaStream_Queue(h_, &small.buffer), 1);
  ASSERT_EQ(Nivexa_StartPreview(h_), 1);
  EXPECT_EQ(NivexaStream_Start(h_, 0), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_NO_CAMERA});
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  ASSERT_EQ(NivexaStream_Start(h_, 0), 1);
  EXPECT_EQ(small.buffer.status, NIVEXA_BUFFER_CANCELLED);
  EXPECT_EQ(NivexaStream_Queue(h_, &small.buffer), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_MEMORY});
  EXPECT_EQ(NivexaStream_Start(h_, NIVEXA_STREAM_PROCESSED), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_NO_CAMERA});
  // Released handles answer with the failure value and no stack.
  EXPECT_EQ(NivexaStream_Queue(12345, &small.buffer), 0);
  EXPECT_EQ(NivexaStream_Wait(12345, 0), nullptr);
  EXPECT_EQ(NivexaStream_FrameBytes(12345, 0), 0u);
}

}  // namespace
}  // namespace nivexa::camera::test

#include "engine/FrameRing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace nivexa::engine {
namespace {

std::vector<uint8_t> frameOf(uint8_t value, size_t bytes = 64) {
  return std::vector<uint8_t>(bytes, value);
}

uint8_t firstByteOf(FrameRing& ring, int slot) {
  uint8_t first = 0;
  ring.readSlot(slot, 64,
                [&](std::span<const uint8_t> pixels, const FrameSlotInfo&) { first = pixels[0]; });
  return first;
}

TEST(FrameRing, StartsWithReadMarkOneBeforeTheWriteIndex) {
  FrameRing ring(4);
  EXPECT_EQ(ring.writeIndex(), 0);
  EXPECT_EQ(ring.readMark(), 3);
  ring.setSlotCount(8);
  EXPECT_EQ(ring.readMark(), 7);
  EXPECT_FALSE(ring.hasBuffers());
}

TEST(FrameRing, FifthFrameLandsInSlotZero) {
  FrameRing ring(4);
  ASSERT_TRUE(ring.allocate(64));
  for (uint8_t frame = 1; frame <= 5; ++frame) {
    ring.storeFrame(frameOf(frame), frame);
  }
  EXPECT_EQ(ring.writeIndex(), 1);
  EXPECT_EQ(ring.newestSlot(), 0);
  EXPECT_EQ(firstByteOf(ring, 0), 5);
  EXPECT_EQ(firstByteOf(ring, 1), 2);
  EXPECT_EQ(firstByteOf(ring, 3), 4);
}

TEST(FrameRing, NewestSlotWrapsAndStatusTravelsWithTheFrame) {
  FrameRing ring(4);
  ASSERT_TRUE(ring.allocate(64));
  EXPECT_EQ(ring.newestSlot(), 3);
  ring.storeHeaderInfo(11, 12, 13, 14);
  ring.storeFrame(frameOf(9), 42, 0x1122334455667788ull, 7);
  FrameSlotInfo seen;
  ASSERT_TRUE(ring.readSlot(0, 64, [&](auto, const FrameSlotInfo& info) { seen = info; }));
  EXPECT_EQ(seen.frameNumber, 42u);
  EXPECT_EQ(seen.infoA, 11u);
  EXPECT_EQ(seen.headerCounter, 12u);
  EXPECT_EQ(seen.infoB, 13u);
  EXPECT_EQ(seen.infoC, 14u);
  EXPECT_EQ(seen.stamp, 0x1122334455667788ull);
  EXPECT_EQ(seen.headerByte, 7);
  FrameSlotInfo empty;
  ring.readSlot(1, 64, [&](auto, const FrameSlotInfo& info) { empty = info; });
  EXPECT_EQ(empty.frameNumber, 0xFFFFFFFFu) << "untouched slots read as empty";
  EXPECT_EQ(empty.infoA, 0xFFFFu);
}

TEST(FrameRing, ExchangedBufferBecomesTheSlotAndTheSlotsBufferComesBack) {
  FrameRing ring(4);
  ASSERT_TRUE(ring.allocate(64));
  ring.storeFrame(frameOf(1), 1);  // slot 0 holds frame 1
  for (int n = 0; n < 3; ++n) {
    ring.storeFrame(frameOf(2), 2);
  }
  std::unique_ptr<uint8_t[]> receive(new uint8_t[64]);
  std::fill_n(receive.get(), 64, uint8_t{9});
  const uint8_t* handedOver = receive.get();
  ring.exchangeFrame(receive, 9);  // the write index is back at slot 0
  EXPECT_EQ(ring.writeIndex(), 1);
  EXPECT_EQ(firstByteOf(ring, 0), 9);
  ring.readSlot(0, 64, [&](std::span<const uint8_t> pixels, const FrameSlotInfo& info) {
    EXPECT_EQ(pixels.data(), handedOver) << "no copy was made";
    EXPECT_EQ(info.frameNumber, 9u);
  });
  ASSERT_NE(receive, nullptr);
  EXPECT_EQ(receive[0], 1) << "the caller now owns the buffer that held frame 1";
}

TEST(FrameRing, AFrameReadElsewhereLeavesItsRecordButNotTheSlotsOldPixels) {
  FrameRing ring(4);
  ASSERT_TRUE(ring.allocate(64));
  ring.storeFrame(frameOf(1), 1);
  ring.storeHeaderInfo(0, 77, 0, 0);
  const FrameSlotInfo record = ring.recordFrameElsewhere(2, 0, 3);
  EXPECT_EQ(ring.writeIndex(), 2);
  EXPECT_EQ(record.frameNumber, 2u);
  EXPECT_EQ(record.headerCounter, 77u);
  EXPECT_EQ(record.headerByte, 3);
  EXPECT_EQ(record.sequence, 2u) << "counted among the frames stored";
  EXPECT_NE(record.arrivalNs, 0u);
  EXPECT_FALSE(ring.holdsFrame(1));
  EXPECT_FALSE(ring.readSlot(1, 64, [](auto, auto&) {}))
      << "the slot's pixels are an older frame's, not frame 2's";
  FrameSlotInfo seen;
  ASSERT_TRUE(ring.readSlot(1, 0, [&](auto, const FrameSlotInfo& info) { seen = info; }));
  EXPECT_EQ(seen.frameNumber, 2u) << "the record alone still reads";
  EXPECT_TRUE(ring.holdsFrame(0));
  // Once round the ring, the slot holds its frame again.
  for (uint32_t frame = 3; frame <= 6; ++frame) {
    ring.storeFrame(frameOf(static_cast<uint8_t>(frame)), frame);
  }
  EXPECT_TRUE(ring.holdsFrame(1));
  EXPECT_EQ(firstByteOf(ring, 1), 6);
}

TEST(FrameRing, SlotsStartBlack) {
  FrameRing ring(4);
  ASSERT_TRUE(ring.allocate(4096 * 4));
  bool black = false;
  ring.readSlot(2, 4096 * 4, [&](std::span<const uint8_t> pixels, auto&) {
    black = std::all_of(pixels.begin(), pixels.end(), [](uint8_t b) { return b == 0; });
  });
  EXPECT_TRUE(black);
}

TEST(FrameRing, ReadsOutsideTheRingOrBeyondTheBufferFail) {
  FrameRing ring(4);
  EXPECT_FALSE(ring.readSlot(0, 64, [](auto, auto&) {})) << "no buffers yet";
  ASSERT_TRUE(ring.allocate(64));
  EXPECT_FALSE(ring.readSlot(4, 64, [](auto, auto&) {}));
  EXPECT_FALSE(ring.readSlot(-1, 64, [](auto, auto&) {}));
  EXPECT_FALSE(ring.readSlot(0, 65, [](auto, auto&) {}));
}

TEST(FrameRing, TriggeredCaptureStartsWithNothingUnread) {
  FrameRing ring(4);
  ASSERT_TRUE(ring.allocate(64));
  ring.storeFrame(frameOf(1), 1);
  ring.setReadMark(0);
  EXPECT_TRUE(ring.hasNewFrame());
  ring.resetWriteToReadMark();
  EXPECT_FALSE(ring.hasNewFrame());
  EXPECT_EQ(ring.writeIndex(), 0);
}

// A consumer that copies the newest slot while the producer laps the ring must always see one
// whole frame: every byte of a copy carries the same frame's value.
TEST(FrameRing, ConsumerNeverSeesATornFrame) {
  constexpr size_t kBytes = 256 * 1024;
  FrameRing ring(4);
  ASSERT_TRUE(ring.allocate(kBytes));
  std::atomic<bool> done{false};
  std::thread producer([&] {
    std::vector<uint8_t> frame(kBytes);
    std::unique_ptr<uint8_t[]> receive(new uint8_t[kBytes]);
    for (int n = 1; n <= 3000; ++n) {
      // Both ways a frame enters the ring: copied, and handed over whole.
      if (n % 2 == 0) {
        std::fill(frame.begin(), frame.end(), static_cast<uint8_t>(n));
        ring.storeFrame(frame, static_cast<uint32_t>(n));
      } else {
        std::fill_n(receive.get(), kBytes, static_cast<uint8_t>(n));
        ring.exchangeFrame(receive, static_cast<uint32_t>(n));
      }
    }
    done = true;
  });
  int copies = 0;
  int torn = 0;
  std::vector<uint8_t> copy(kBytes);
  while (!done) {
    bool filled = false;
    ring.readSlot(ring.newestSlot(), kBytes, [&](std::span<const uint8_t> pixels, auto& info) {
      std::copy(pixels.begin(), pixels.end(), copy.begin());
      filled = info.frameNumber != 0xFFFFFFFFu;
      if (filled && static_cast<uint8_t>(info.frameNumber) != copy.front()) {
        ++torn;
      }
    });
    if (filled &&
        std::any_of(copy.begin(), copy.end(), [&](uint8_t b) { return b != copy.front(); })) {
      ++torn;
    }
    copies += filled ? 1 : 0;
  }
  producer.join();
  EXPECT_GT(copies, 0);
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace nivexa::engine

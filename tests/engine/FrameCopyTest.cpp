// The frame copy out of the ring: orientation codes, the top-down flag, pixel sizes, and the
// stamped copy, on frames whose every pixel encodes its own position.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/CNivexaUSB3R5SimpleSdk.h"
#include "sensors/CSensorBase.h"

namespace nivexa::engine {
namespace {

constexpr int kWidth = 5;  // odd sizes: a mirror that misses the middle column or row shows
constexpr int kHeight = 3;

class OrientedSensor : public sensors::CSensorBase {
 public:
  explicit OrientedSensor(int orientation) : CSensorBase(nullptr, 72) {
    info_.orientation = orientation;
    info_.outputWidth = kWidth;
    info_.outputHeight = kHeight;
  }
};

// An engine whose ring is filled by the test instead of a camera.
class LoadedEngine : public CNivexaUSB3R5SimpleSdk {
 public:
  bool load(int orientation, bool sixteenBit) {
    sensor_ = std::make_unique<OrientedSensor>(orientation);
    outputDepth_ = sixteenBit ? 1 : 0;
    return PrepareTransfer() == 1;
  }
  void store(const std::vector<uint8_t>& pixels, uint64_t stamp = 0, uint8_t headerByte = 0) {
    ring_.storeFrame(pixels, 7, stamp, headerByte);
  }
};

// Pixel (x, y) holds x in its low byte and 0x80 + y in its high byte (8-bit frames: 16 y + x).
std::vector<uint8_t> positionFrame(bool sixteenBit) {
  std::vector<uint8_t> frame;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      if (sixteenBit) {
        frame.push_back(static_cast<uint8_t>(x));
        frame.push_back(static_cast<uint8_t>(0x80 + y));
      } else {
        frame.push_back(static_cast<uint8_t>(16 * y + x));
      }
    }
  }
  return frame;
}

// The source position that landed at destination pixel `index`.
std::pair<int, int> sourceOf(const std::vector<uint8_t>& copy, int index, bool sixteenBit) {
  if (sixteenBit) {
    const uint8_t low = copy[2 * static_cast<size_t>(index)];
    const uint8_t high = copy[2 * static_cast<size_t>(index) + 1];
    return {low, high - 0x80};
  }
  return {copy[static_cast<size_t>(index)] % 16, copy[static_cast<size_t>(index)] / 16};
}

class FrameCopyOrientation : public ::testing::TestWithParam<int> {};

TEST_P(FrameCopyOrientation, EveryPixelLandsWhereTheOrientationSays) {
  const int code = GetParam();
  const bool mirrored = code == 2 || code == 4;
  const bool flipped = code == 3 || code == 4;
  for (bool sixteenBit : {false, true}) {
    SCOPED_TRACE(sixteenBit ? "16-bit" : "8-bit");
    LoadedEngine engine;
    ASSERT_TRUE(engine.load(code, sixteenBit));
    ASSERT_EQ(engine.FrameSize(), static_cast<uint32_t>(kWidth * kHeight * (sixteenBit ? 2 : 1)));
    const auto frame = positionFrame(sixteenBit);
    // Operation 37 copies bottom-up, operation 38 top-down, each before the orientation.
    for (bool topDown : {false, true}) {
      SCOPED_TRACE(topDown ? "top-down copy" : "bottom-up copy");
      engine.store(frame);
      std::vector<uint8_t> copy(frame.size(), 0xEE);
      ASSERT_EQ(topDown ? engine.CopyNewestFrameStamped(copy, nullptr, nullptr)
                        : engine.CopyNewestFrame(copy),
                1);
      const bool rowsInOrder = topDown != flipped;
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          const auto [sx, sy] = sourceOf(copy, y * kWidth + x, sixteenBit);
          EXPECT_EQ(sx, mirrored ? kWidth - 1 - x : x) << "at " << x << "," << y;
          EXPECT_EQ(sy, rowsInOrder ? y : kHeight - 1 - y) << "at " << x << "," << y;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, FrameCopyOrientation, ::testing::Values(1, 2, 3, 4));

TEST(FrameCopy, FirstPixelOfTheBottomUpCopyPerOrientation) {
  // The corner each orientation puts first in a bottom-up copy, written out by hand.
  const std::pair<int, int> expected[] = {{0, 2}, {4, 2}, {0, 0}, {4, 0}};
  for (int code = 1; code <= 4; ++code) {
    LoadedEngine engine;
    ASSERT_TRUE(engine.load(code, true));
    engine.store(positionFrame(true));
    std::vector<uint8_t> copy(engine.FrameSize());
    ASSERT_EQ(engine.CopyNewestFrame(copy), 1);
    EXPECT_EQ(sourceOf(copy, 0, true), expected[code - 1]) << "code " << code;
  }
}

TEST(FrameCopy, StampedCopyGivesStampAndHeaderByteOnlyForTheStampedProduct) {
  for (int productId : {0x32D0, 0x33D0}) {
    SCOPED_TRACE(productId);
    LoadedEngine engine;
    engine.SetProductId(productId);
    ASSERT_TRUE(engine.load(1, false));
    engine.store(positionFrame(false), 0x1122334455667788ull, 0x5A);
    ASSERT_TRUE(engine.Ring().hasNewFrame());
    std::vector<uint8_t> copy(engine.FrameSize());
    uint64_t stamp = 1;
    uint8_t headerByte = 2;
    ASSERT_EQ(engine.CopyNewestFrameStamped(copy, &stamp, &headerByte), 1);
    if (productId == 0x32D0) {
      EXPECT_EQ(stamp, 0x1122334455667788ull);
      EXPECT_EQ(headerByte, 0x5A);
    } else {
      EXPECT_EQ(stamp, 1u) << "other products leave the outputs alone";
      EXPECT_EQ(headerByte, 2);
    }
    EXPECT_FALSE(engine.Ring().hasNewFrame()) << "the copy marks the frame read";
    std::vector<uint8_t> tooSmall(engine.FrameSize() - 1);
    EXPECT_EQ(engine.CopyNewestFrameStamped(tooSmall, &stamp, &headerByte), 0);
  }
}

}  // namespace
}  // namespace nivexa::engine

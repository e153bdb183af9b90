#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "camera/CameraTestSupport.h"
#include "platform/WindowTestBitmap.h"

// What the preview window must show of a subsampled 8-bit frame (1024 x 768, top row first), as
// 0xRRGGBB pixels top row first: the same on every platform.
namespace nivexa::camera::test {

inline constexpr LONG kHalfWidth = kFullWidth / 2;
inline constexpr LONG kHalfHeight = kFullHeight / 2;
// Generous: sanitizer builds on a busy machine deliver a few frames a second.
inline constexpr LONG kFrameWaitMs = 20000;

// A window as large as the frame shows it pixel for pixel, its top row at the top.
inline std::vector<uint32_t> shownOneToOne(const std::vector<uint8_t>& frame) {
  std::vector<uint32_t> expected(frame.size());
  std::transform(frame.begin(), frame.end(), expected.begin(), nivexa::test::grayPixel);
  return expected;
}

// A 512 x 384 window, half the frame's size: the display bitmap's memory row r takes frame row
// 767 - trunc(r * 2), and shows that row r at window row 383 - r.
inline std::vector<uint32_t> shownAtHalfSize(const std::vector<uint8_t>& frame) {
  std::vector<uint32_t> expected;
  for (int y = 0; y < 384; ++y) {
    const int row = (kHalfHeight - 1) - 2 * (383 - y);
    for (int x = 0; x < 512; ++x) {
      expected.push_back(
          nivexa::test::grayPixel(frame[static_cast<size_t>(row * kHalfWidth + 2 * x)]));
    }
  }
  return expected;
}

// Lets two frames of a running preview through, stops it, and returns the last frame, top row
// first: the one the window shows last.
inline std::vector<uint8_t> lastFrameAfterSomeFrames(LONG h, HWND frames) {
  nivexa::test::TestMessage message{};
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(nextMessage(frames, message, kFrameWaitMs));
    EXPECT_NE(message.wParam, 0u);
  }
  std::vector<uint8_t> image(size_t{kHalfWidth} * kHalfHeight);
  EXPECT_EQ(Nivexa_StopPreview(h), 1);
  EXPECT_EQ(Nivexa_GetImage(h, image.data(), LONG(image.size()), 1), 1);
  return image;
}

}  // namespace nivexa::camera::test

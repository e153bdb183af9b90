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

// A window of another size than the frame shows it through the display bitmap, filled by
// nearest neighbour: its memory row r takes frame row
// sourceHeight - 1 - min(trunc(r * fy), sourceHeight - 1), and shows at window row
// clientHeight - 1 - r; window column x takes frame column min(trunc(x * fx), sourceWidth - 1),
// with single-precision factors. `toGray` turns a frame sample into the gray level shown.
template <typename Sample, typename ToGray>
std::vector<uint32_t> shownScaled(const std::vector<Sample>& frame, int sourceWidth,
                                  int sourceHeight, int clientWidth, int clientHeight,
                                  ToGray toGray) {
  const float fx = static_cast<float>(sourceWidth) / static_cast<float>(clientWidth);
  const float fy = static_cast<float>(sourceHeight) / static_cast<float>(clientHeight);
  std::vector<uint32_t> expected;
  for (int y = 0; y < clientHeight; ++y) {
    const int r = clientHeight - 1 - y;
    const int row =
        sourceHeight - 1 - std::min(static_cast<int>(static_cast<float>(r) * fy), sourceHeight - 1);
    for (int x = 0; x < clientWidth; ++x) {
      const int column = std::min(static_cast<int>(static_cast<float>(x) * fx), sourceWidth - 1);
      expected.push_back(nivexa::test::grayPixel(
          toGray(frame[static_cast<size_t>(row) * static_cast<size_t>(sourceWidth) +
                       static_cast<size_t>(column)])));
    }
  }
  return expected;
}

// A 512 x 384 window, half the frame's size: window row y shows frame row 767 - 2 (383 - y).
inline std::vector<uint32_t> shownAtHalfSize(const std::vector<uint8_t>& frame) {
  return shownScaled(frame, kHalfWidth, kHalfHeight, 512, 384, [](uint8_t v) { return v; });
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

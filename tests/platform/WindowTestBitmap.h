#pragma once

#include <cstdint>
#include <vector>

#include "platform/Window.h"

// Bitmaps as the camera object hands them to a preview window, and what their pixels look like
// on the screen: shared by the window tests of every platform.
namespace nivexa::test {

// A bitmap laid out as the camera object's are: memory row 0 first, rows padded to 4 bytes.
struct TestBitmap {
  int32_t width;
  int32_t height;
  uint16_t bits;
  int32_t stride = (width * (bits / 8) + 3) / 4 * 4;
  std::vector<uint8_t> pixels = std::vector<uint8_t>(static_cast<size_t>(stride * height));
  std::vector<uint8_t> palette = grayPalette();

  static std::vector<uint8_t> grayPalette() {
    std::vector<uint8_t> table(1024);
    for (size_t i = 0; i < 256; ++i) {
      table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = static_cast<uint8_t>(i);
    }
    return table;
  }

  platform::DibPixels view() const {
    platform::DibPixels p;
    p.bits = pixels.data();
    p.width = width;
    p.height = height;
    p.stride = stride;
    p.bitsPerPixel = bits;
    p.palette = palette;
    return p;
  }
};

// Gray memory row r, column c: 3 c + 7 r (an odd width leaves padding at every row end).
inline TestBitmap grayRamp(int32_t width, int32_t height) {
  TestBitmap bitmap{width, height, 8};
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      bitmap.pixels[static_cast<size_t>(r * bitmap.stride + c)] =
          static_cast<uint8_t>(3 * c + 7 * r);
    }
  }
  return bitmap;
}

// 24 bits: blue 10 c, green 100 + r, red 200 at memory row r, column c.
inline TestBitmap colourRamp(int32_t width, int32_t height) {
  TestBitmap bitmap{width, height, 24};
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      uint8_t* pixel = &bitmap.pixels[static_cast<size_t>(r * bitmap.stride + 3 * c)];
      pixel[0] = static_cast<uint8_t>(10 * c);
      pixel[1] = static_cast<uint8_t>(100 + r);
      pixel[2] = 200;
    }
  }
  return bitmap;
}

// How colourRamp shows at (x, y) when drawn as a bitmap shows itself: last memory row at the top.
inline uint32_t colourRampShown(int32_t x, int32_t y, int32_t height) {
  return 200u << 16 | static_cast<uint32_t>(100 + (height - 1 - y)) << 8 |
         static_cast<uint32_t>(10 * x);
}

// Colour tables whose entries differ per channel, so that a table not applied shows.
inline void useBlueAndInvertedGreenPalette(TestBitmap& bitmap) {
  for (size_t i = 0; i < 256; ++i) {
    bitmap.palette[4 * i + 1] = static_cast<uint8_t>(255 - i);
    bitmap.palette[4 * i + 2] = 0;
  }
}

inline uint32_t grayPixel(uint8_t value) {
  return 0x010101u * value;
}

}  // namespace nivexa::test

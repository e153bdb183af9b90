#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "imaging/DibImage.h"
#include "output/RecordingSource.h"

namespace nivexa::test {

// Test picture: sample c of pixel (x, y) of frame k, on an 8-bit or a 16-bit scale. The 16-bit
// values (gray and colour) run past 4095 so that both the 12-bit range and its clamp are
// exercised.
inline uint8_t sample8(uint64_t k, int32_t x, int32_t y, int c) {
  return static_cast<uint8_t>(k * 13 + x * 3 + y * 7 + c * 60);
}
inline uint16_t sample16(uint64_t k, int32_t x, int32_t y, int c) {
  if (c < 0) {
    return static_cast<uint16_t>((k * 131 + x * 29 + y * 53) % 4600);
  }
  return static_cast<uint16_t>((k * 231 + x * 57 + y * 103 + c * 1500) % 4600);
}

inline void paint(imaging::DibImage& image, uint64_t k) {
  const int32_t bpp = image.bitsPerPixel();
  for (int32_t y = 0; y < image.height(); ++y) {
    uint8_t* row = image.row(y);
    for (int32_t x = 0; x < image.width(); ++x) {
      uint8_t* p = row + x * image.bytesPerPixel();
      switch (bpp) {
        case 8:
          p[0] = sample8(k, x, y, 0);
          break;
        case 16: {
          const uint16_t v = sample16(k, x, y, -1);
          p[0] = static_cast<uint8_t>(v);
          p[1] = static_cast<uint8_t>(v >> 8);
          break;
        }
        case 24:
        case 32:
          for (int c = 0; c < 3; ++c) {
            p[c] = sample8(k, x, y, c);
          }
          if (bpp == 32) {
            p[3] = 0xA5;  // the fourth byte is nobody's colour
          }
          break;
        default:
          for (int c = 0; c < 4; ++c) {
            const uint16_t v = c < 3 ? sample16(k, x, y, c) : 0xA55A;
            if (c < 3 || bpp == 64) {
              p[2 * c] = static_cast<uint8_t>(v);
              p[2 * c + 1] = static_cast<uint8_t>(v >> 8);
            }
          }
      }
    }
  }
}

// Frame k as a 24-bit picture, top row first, rows not padded: what a decoder must show.
inline std::vector<uint8_t> expectedBgr(int32_t bpp, int32_t width, int32_t height, uint64_t k) {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(width) * height * 3);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        switch (bpp) {
          case 8:
            out.push_back(sample8(k, x, y, 0));
            break;
          case 16:
            out.push_back(static_cast<uint8_t>(std::min(sample16(k, x, y, -1) / 16, 255)));
            break;
          case 24:
          case 32:
            out.push_back(sample8(k, x, y, c));
            break;
          default:
            out.push_back(static_cast<uint8_t>(std::min(sample16(k, x, y, c) / 16, 255)));
        }
      }
    }
  }
  return out;
}

// The pipeline's side of a recording. With `everyLook` set a new frame is ready at every look
// (a pipeline faster than the recorder); otherwise publish() makes one.
class FakeSource : public output::RecordingSource {
 public:
  FakeSource(int32_t width, int32_t height, uint16_t bpp, bool everyLook = true)
      : everyLook_(everyLook) {
    image_.Create(width, height, bpp);
  }

  std::optional<output::FrameGeometry> CurrentGeometry() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!image_.valid()) {
      return std::nullopt;
    }
    return output::FrameGeometry{image_.width(), image_.height(), image_.bitsPerPixel()};
  }

  uint64_t UseNewerFrame(uint64_t after,
                         const std::function<void(const imaging::DibImage&)>& use) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (everyLook_) {
      paint(image_, ++number_);
    }
    if (number_ <= after) {
      return after;
    }
    use(image_);
    used_.push_back(number_);
    return number_;
  }

  void publish() {
    std::lock_guard<std::mutex> lock(mutex_);
    paint(image_, ++number_);
  }
  // The colour mode changes underneath the recording; returns how many frames were used before.
  size_t switchDepth(uint16_t bpp) {
    std::lock_guard<std::mutex> lock(mutex_);
    image_.Create(image_.width(), image_.height(), bpp);
    return used_.size();
  }
  std::vector<uint64_t> used() {
    std::lock_guard<std::mutex> lock(mutex_);
    return used_;
  }

 private:
  std::mutex mutex_;
  imaging::DibImage image_;
  bool everyLook_;
  uint64_t number_ = 0;
  std::vector<uint64_t> used_;
};

}  // namespace nivexa::test

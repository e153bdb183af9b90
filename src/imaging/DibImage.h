#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/BitmapSurface.h"

namespace nivexa::imaging {

// BITMAPINFOHEADER as the library fills it: only these fields are ever non-zero.
struct DibHeader {
  static constexpr uint32_t kSize = 40;
  uint32_t size = kSize;
  int32_t width = 0;
  int32_t height = 0;  // positive: declared bottom-up, although row 0 in memory is the top
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;  // BI_RGB
};

inline constexpr size_t kPaletteEntries = 256;
inline constexpr size_t kBitmapInfoBytes = DibHeader::kSize + kPaletteEntries * 4;

// A 16-bit sample holds the sensor's 12 significant bits, 0..4095, in its low bits; every step,
// display and writer keeps that scale, so a frame looks the same whichever of them it went through.
inline constexpr int32_t kSignificantBits16 = 12;
inline constexpr uint16_t kMaxSample16 = (1u << kSignificantBits16) - 1;
// Right shift that takes a 16-bit sample onto an 8-bit scale (the result then limited to 255).
inline constexpr int32_t kSample16To8Shift = kSignificantBits16 - 8;

// Bytes per row for a width and depth: rows padded to a multiple of 4 bytes.
constexpr int32_t dibStride(int32_t width, int32_t bitsPerPixel) {
  return (width * (bitsPerPixel / 8) + 3) / 4 * 4;
}

// The library's one bitmap type. Row 0 of bits() is the top row of the picture.
class DibImage {
 public:
  DibImage() = default;
  ~DibImage() { Release(); }
  DibImage(const DibImage&) = delete;
  DibImage& operator=(const DibImage&) = delete;

  // Releases what the bitmap held, then makes a zeroed bitmap; 8-bit bitmaps get the gray
  // palette. Returns 0 for a non-positive size, a zero depth, or when no memory can be had.
  int Create(int32_t width, int32_t height, uint16_t bitsPerPixel);
  // A fresh bitmap of another bitmap's format; the pixels are not copied.
  int CopyFormat(const DibImage& other);
  void Release();
  // Exchanges everything two bitmaps hold; the pixel memory stays where it is.
  void swap(DibImage& other) noexcept;

  bool valid() const { return bits_ != nullptr; }
  uint8_t* bits() { return bits_; }
  const uint8_t* bits() const { return bits_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t stride() const { return stride_; }
  uint16_t bitsPerPixel() const { return bitsPerPixel_; }
  int32_t bytesPerPixel() const { return bitsPerPixel_ / 8; }
  size_t imageBytes() const { return static_cast<size_t>(stride_) * static_cast<size_t>(height_); }
  std::span<uint8_t> pixels() { return {bits_, valid() ? imageBytes() : 0}; }
  std::span<const uint8_t> pixels() const { return {bits_, valid() ? imageBytes() : 0}; }
  uint8_t* row(int32_t y) { return bits_ + static_cast<ptrdiff_t>(y) * stride_; }
  const uint8_t* row(int32_t y) const { return bits_ + static_cast<ptrdiff_t>(y) * stride_; }

  const DibHeader& header() const { return header_; }
  const std::array<uint8_t, kPaletteEntries * 4>& palette() const { return palette_; }
  // The header and palette as the 1064 little-endian bytes of a BITMAPINFO.
  std::array<uint8_t, kBitmapInfoBytes> bitmapInfoBytes() const;
  // The OS surface behind the pixels, when there is one (nullptr in the plain-memory fallback).
  platform::BitmapSurface* surface() { return surface_.get(); }

  // Copies the picture to a caller's buffer: top row first when memoryOrder is set, else bottom
  // row first (as a DIB). Returns 0 without touching the buffer when it is shorter than the
  // image or the bitmap has no pixels.
  int CopyOut(std::span<uint8_t> destination, bool memoryOrder) const;

 private:
  void writeGrayPalette();

  DibHeader header_;
  std::array<uint8_t, kPaletteEntries * 4> palette_{};
  std::unique_ptr<platform::BitmapSurface> surface_;
  std::unique_ptr<uint8_t[]> fallback_;
  uint8_t* bits_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t stride_ = 0;
  uint16_t bitsPerPixel_ = 0;
};

}  // namespace nivexa::imaging

#include "imaging/DibImage.h"

#include <cstring>
#include <new>
#include <utility>

#include "platform/ByteOrder.h"

namespace nivexa::imaging {
namespace {

// Fields of the 40-byte bitmap information header.
constexpr size_t kOffHeaderSize = 0;
constexpr size_t kOffWidth = 4;
constexpr size_t kOffHeight = 8;
constexpr size_t kOffPlanes = 12;
constexpr size_t kOffBitCount = 14;
constexpr size_t kOffCompression = 16;

}  // namespace

int DibImage::Create(int32_t width, int32_t height, uint16_t bitsPerPixel) {
  Release();
  if (width <= 0 || height <= 0 || bitsPerPixel == 0) {
    return 0;
  }
  const int64_t stride = (static_cast<int64_t>(width) * (bitsPerPixel / 8) + 3) / 4 * 4;
  if (stride <= 0 || stride > INT32_MAX) {
    return 0;
  }
  header_.width = width;
  header_.height = height;
  header_.planes = 1;
  header_.bitCount = bitsPerPixel;
  if (bitsPerPixel == 8) {
    writeGrayPalette();
  }
  const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
  const auto info = bitmapInfoBytes();
  surface_ = platform::createBitmapSurface(info, bytes);
  if (surface_) {
    bits_ = surface_->bits();
    if (bitsPerPixel == 8) {
      surface_->setColorTable(palette_);
    }
  } else {
    fallback_.reset(new (std::nothrow) uint8_t[bytes]());
    if (!fallback_) {
      Release();
      return 0;
    }
    bits_ = fallback_.get();
  }
  width_ = width;
  height_ = height;
  stride_ = static_cast<int32_t>(stride);
  bitsPerPixel_ = bitsPerPixel;
  return 1;
}

int DibImage::CopyFormat(const DibImage& other) {
  if (&other == this) {
    return valid() ? 1 : 0;
  }
  return Create(other.width_, other.height_, other.bitsPerPixel_);
}

void DibImage::Release() {
  surface_.reset();
  fallback_.reset();
  bits_ = nullptr;
  header_ = DibHeader{};
  palette_.fill(0);
  width_ = height_ = stride_ = 0;
  bitsPerPixel_ = 0;
}

void DibImage::swap(DibImage& other) noexcept {
  std::swap(header_, other.header_);
  std::swap(palette_, other.palette_);
  std::swap(surface_, other.surface_);
  std::swap(fallback_, other.fallback_);
  std::swap(bits_, other.bits_);
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
  std::swap(stride_, other.stride_);
  std::swap(bitsPerPixel_, other.bitsPerPixel_);
}

void DibImage::writeGrayPalette() {
  for (size_t i = 0; i < kPaletteEntries; ++i) {
    palette_[i * 4 + 0] = static_cast<uint8_t>(i);
    palette_[i * 4 + 1] = static_cast<uint8_t>(i);
    palette_[i * 4 + 2] = static_cast<uint8_t>(i);
    palette_[i * 4 + 3] = 0;
  }
}

std::array<uint8_t, kBitmapInfoBytes> DibImage::bitmapInfoBytes() const {
  std::array<uint8_t, kBitmapInfoBytes> out{};
  platform::storeLe32(out, kOffHeaderSize, header_.size);
  platform::storeLe32(out, kOffWidth, static_cast<uint32_t>(header_.width));
  platform::storeLe32(out, kOffHeight, static_cast<uint32_t>(header_.height));
  platform::storeLe16(out, kOffPlanes, header_.planes);
  platform::storeLe16(out, kOffBitCount, header_.bitCount);
  platform::storeLe32(out, kOffCompression, header_.compression);
  // biSizeImage, resolutions and colour counts stay 0, as for every bitmap the library makes.
  std::memcpy(&out[DibHeader::kSize], palette_.data(), palette_.size());
  return out;
}

int DibImage::CopyOut(std::span<uint8_t> destination, bool memoryOrder) const {
  if (!valid() || destination.size() < imageBytes()) {
    return 0;
  }
  if (memoryOrder) {
    std::memcpy(destination.data(), bits_, imageBytes());
    return 1;
  }
  for (int32_t y = 0; y < height_; ++y) {
    std::memcpy(destination.data() + static_cast<size_t>(y) * stride_, row(height_ - 1 - y),
                static_cast<size_t>(stride_));
  }
  return 1;
}

}  // namespace nivexa::imaging

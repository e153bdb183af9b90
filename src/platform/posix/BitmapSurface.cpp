#include "platform/BitmapSurface.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace nivexa::platform {
namespace {

constexpr size_t kAlignment = 64;

class AlignedSurface final : public BitmapSurface {
 public:
  explicit AlignedSurface(uint8_t* bits) : bits_(bits) {}
  ~AlignedSurface() override { std::free(bits_); }
  AlignedSurface(const AlignedSurface&) = delete;
  AlignedSurface& operator=(const AlignedSurface&) = delete;

  uint8_t* bits() override { return bits_; }
  // X11 images carry no palette: the display kernels expand gray to true colour.
  void setColorTable(std::span<const uint8_t, 1024>) override {}
  void* deviceContext() override { return nullptr; }

 private:
  uint8_t* bits_;
};

}  // namespace

std::unique_ptr<BitmapSurface> createBitmapSurface(std::span<const uint8_t>, size_t imageBytes) {
  if (imageBytes == 0) {
    return nullptr;
  }
  const size_t rounded = (imageBytes + kAlignment - 1) / kAlignment * kAlignment;
  auto* bits = static_cast<uint8_t*>(std::aligned_alloc(kAlignment, rounded));
  if (bits == nullptr) {
    return nullptr;
  }
  // A DIB section starts zeroed; consumers rely on black, not on heap garbage.
  std::memset(bits, 0, rounded);
  auto surface = std::unique_ptr<BitmapSurface>(new (std::nothrow) AlignedSurface(bits));
  if (!surface) {
    std::free(bits);
  }
  return surface;
}

}  // namespace nivexa::platform

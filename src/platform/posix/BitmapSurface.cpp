#include "platform/BitmapSurface.h"

#include <sys/mman.h>

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

// Large pictures are mapped straight from the system: their pages arrive zeroed, and only when
// first touched. A camera object keeps several full-frame masks that most applications never
// use; zeroing them on the heap cost every Initialize about 45 MB of page faults and writes.
class MappedSurface final : public BitmapSurface {
 public:
  MappedSurface(uint8_t* bits, size_t bytes) : bits_(bits), bytes_(bytes) {}
  ~MappedSurface() override { ::munmap(bits_, bytes_); }
  MappedSurface(const MappedSurface&) = delete;
  MappedSurface& operator=(const MappedSurface&) = delete;

  uint8_t* bits() override { return bits_; }
  void setColorTable(std::span<const uint8_t, 1024>) override {}
  void* deviceContext() override { return nullptr; }

 private:
  uint8_t* bits_;
  size_t bytes_;
};

// AddressSanitizer watches heap blocks only: its builds keep every picture on the heap, where a
// write past the end is caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapLargeSurfaces = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMapLargeSurfaces = false;
#else
constexpr bool kMapLargeSurfaces = true;
#endif
#else
constexpr bool kMapLargeSurfaces = true;
#endif

constexpr size_t kMapFromBytes = 1024 * 1024;

std::unique_ptr<BitmapSurface> mapSurface(size_t bytes) {
  void* bits = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (bits == MAP_FAILED) {
    return nullptr;
  }
  auto surface = std::unique_ptr<BitmapSurface>(
      new (std::nothrow) MappedSurface(static_cast<uint8_t*>(bits), bytes));
  if (!surface) {
    ::munmap(bits, bytes);
  }
  return surface;
}

}  // namespace

std::unique_ptr<BitmapSurface> createBitmapSurface(std::span<const uint8_t>, size_t imageBytes) {
  if (imageBytes == 0) {
    return nullptr;
  }
  const size_t rounded = (imageBytes + kAlignment - 1) / kAlignment * kAlignment;
  if (kMapLargeSurfaces && rounded >= kMapFromBytes) {
    return mapSurface(rounded);
  }
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

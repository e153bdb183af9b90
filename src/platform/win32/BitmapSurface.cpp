#include "platform/BitmapSurface.h"

#include <windows.h>

#include <cstring>
#include <new>
#include <vector>

namespace nivexa::platform {
namespace {

constexpr size_t kHeaderBytes = 40;

class DibSection final : public BitmapSurface {
 public:
  DibSection(HDC dc, HBITMAP bitmap, HGDIOBJ previous, uint8_t* bits)
      : dc_(dc), bitmap_(bitmap), previous_(previous), bits_(bits) {}
  ~DibSection() override {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  DibSection(const DibSection&) = delete;
  DibSection& operator=(const DibSection&) = delete;

  uint8_t* bits() override { return bits_; }
  void setColorTable(std::span<const uint8_t, 1024> rgbQuads) override {
    RGBQUAD table[256];
    for (size_t i = 0; i < 256; ++i) {
      table[i].rgbBlue = rgbQuads[4 * i];
      table[i].rgbGreen = rgbQuads[4 * i + 1];
      table[i].rgbRed = rgbQuads[4 * i + 2];
      table[i].rgbReserved = rgbQuads[4 * i + 3];
    }
    SetDIBColorTable(dc_, 0, 256, table);
  }
  void* deviceContext() override { return dc_; }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
  uint8_t* bits_;
};

}  // namespace

std::unique_ptr<BitmapSurface> createBitmapSurface(std::span<const uint8_t> bitmapInfo,
                                                   size_t imageBytes) {
  if (imageBytes == 0 || bitmapInfo.size() < kHeaderBytes) {
    return nullptr;
  }
  // The system reads the header as a BITMAPINFO: give it aligned memory holding those bytes,
  // with room for a full colour table whether or not one was passed.
  std::vector<uint32_t> info((kHeaderBytes + 1024) / sizeof(uint32_t), 0);
  std::memcpy(info.data(), bitmapInfo.data(),
              bitmapInfo.size() < kHeaderBytes + 1024 ? bitmapInfo.size() : kHeaderBytes + 1024);
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) {
    return nullptr;
  }
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(info.data()),
                                    DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) {
    DeleteDC(dc);
    return nullptr;
  }
  // The caller's size may be larger than the system's (a rounded stride): it must fit.
  DIBSECTION section{};
  const bool described = GetObjectA(bitmap, sizeof section, &section) == sizeof section;
  const size_t available = described ? static_cast<size_t>(section.dsBm.bmWidthBytes) *
                                           static_cast<size_t>(section.dsBm.bmHeight)
                                     : 0;
  if (available < imageBytes) {
    DeleteObject(bitmap);
    DeleteDC(dc);
    return nullptr;
  }
  std::memset(bits, 0, imageBytes);
  HGDIOBJ previous = SelectObject(dc, bitmap);
  auto surface = std::unique_ptr<BitmapSurface>(
      new (std::nothrow) DibSection(dc, bitmap, previous, static_cast<uint8_t*>(bits)));
  if (!surface) {
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  return surface;
}

}  // namespace nivexa::platform

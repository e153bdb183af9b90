#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace nivexa::platform {

// The OS side of a bitmap: pixel memory the display can draw from. On Windows this is a DIB
// section selected into a memory DC (so GDI can blit it); elsewhere it is plain memory aligned
// for vector loads, which the preview window copies into its own image.
class BitmapSurface {
 public:
  virtual ~BitmapSurface() = default;
  virtual uint8_t* bits() = 0;
  // Replaces the colour table the OS draws an 8-bit bitmap with (256 blue-green-red-reserved
  // entries); a no-op where the display converts gray itself.
  virtual void setColorTable(std::span<const uint8_t, 1024> rgbQuads) = 0;
  // The memory DC on Windows, for the preview window's blits; nullptr elsewhere.
  virtual void* deviceContext() = 0;
};

// Creates a surface for the encoded BITMAPINFO (40-byte header followed by the colour table).
// Returns nullptr when the OS cannot provide one; the caller then falls back to plain memory.
std::unique_ptr<BitmapSurface> createBitmapSurface(std::span<const uint8_t> bitmapInfo,
                                                   size_t imageBytes);

}  // namespace nivexa::platform

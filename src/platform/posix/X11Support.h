#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <span>

namespace nivexa::platform::x11 {

// Xlib reports protocol errors to one process-wide handler whose default ends the process.
// Connections registered here have their errors recorded instead; the errors of every other
// connection (the application's own) still go to the handler that was there before. Only for
// connections opened through x11::library(), which is loaded by then.
void registerConnection(Display* display);
void unregisterConnection(Display* display);
// The first error code recorded on the connection since the last call, 0 for none. Makes the
// server answer everything sent so far first.
int takeError(Display* display);

// How a 24-bit TrueColor visual places red, green and blue in a 32-bit pixel.
struct PixelLayout {
  int redShift = 16;
  int greenShift = 8;
  int blueShift = 0;

  uint32_t pixel(uint8_t red, uint8_t green, uint8_t blue) const {
    return static_cast<uint32_t>(red) << redShift | static_cast<uint32_t>(green) << greenShift |
           static_cast<uint32_t>(blue) << blueShift;
  }
};
// False for visuals whose channels are not whole bytes.
bool pixelLayoutOf(const XVisualInfo& visual, PixelLayout& layout);

// Rows of the window's image, one 32-bit pixel per pixel.
void convertGrayRow(const uint8_t* source, uint32_t* destination, int32_t width,
                    const uint32_t (&lookup)[256]);
// The same for a lookup that is the identity gray ramp (value x 0x010101): no table reads, so
// the compiler can vectorise it.
void convertGrayRampRow(const uint8_t* source, uint32_t* destination, int32_t width);
bool isGrayRamp(const uint32_t (&lookup)[256]);
void convertBgrRow(const uint8_t* source, uint32_t* destination, int32_t width,
                   const PixelLayout& layout);
// The 256 pixels of an 8-bit bitmap's colour table (blue, green, red, reserved entries).
void paletteLookup(std::span<const uint8_t> palette, const PixelLayout& layout,
                   uint32_t (&lookup)[256]);

}  // namespace nivexa::platform::x11

#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "NivexaSdk.h"

namespace nivexa::platform {

// Pixels handed to a window, laid out as a device-independent bitmap: rows padded to `stride`,
// and memory row 0 is the bottom row of what the bitmap shows (a bitmap with positive height).
struct DibPixels {
  const uint8_t* bits = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
  uint16_t bitsPerPixel = 0;         // 8 (through `palette`) or 24 (blue, green, red)
  std::span<const uint8_t> palette;  // 8 bits: 256 blue-green-red-reserved entries
  void* deviceContext = nullptr;     // Windows: the memory DC the bitmap is selected into
};

// Where the window goes. With a parent it is a child at (x, y) of width x height inside it;
// without one it is a top-level window whose client area is clientWidth x clientHeight,
// centred on the screen.
struct WindowRequest {
  HWND parent = nullptr;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t clientWidth = 0;
  int32_t clientHeight = 0;
  std::string className;  // unique per window; also the X11 WM_CLASS
};

inline constexpr const char* kChildWindowName = "ActiveMovie Window";
inline constexpr const char* kTopLevelWindowName = "Active Window";

// The library's own preview window. Drawing calls come from the acquisition thread; on Windows
// the window belongs to the thread that created it and the application pumps its messages, on
// Linux the window runs its own event thread and the drawing calls never wait for the server.
class PreviewWindow {
 public:
  virtual ~PreviewWindow() = default;
  virtual HWND handle() const = 0;
  // False once the window is hidden, minimised or closed by the user.
  virtual bool visible() = 0;
  virtual void clientSize(int32_t& width, int32_t& height) = 0;
  virtual bool hasDeviceContext() = 0;
  // The bitmap at its own size at the client's origin, read from its last memory row upwards.
  virtual void copyRowsTurnedOver(const DibPixels& source) = 0;
  // The bitmap at its own size at the client's origin, as the bitmap shows itself.
  virtual void copy(const DibPixels& source) = 0;
  // Waits until everything drawn so far has reached the screen; false on time-out. Drawing
  // itself does not wait; tests and measurements do.
  virtual bool waitShown(int32_t timeoutMs) = 0;
};

// nullptr when the window cannot be made: no display, a parent that is not a window, or the
// system refused.
std::unique_ptr<PreviewWindow> createPreviewWindow(const WindowRequest& request);

// Linux: a window handle standing for an X11 window of the application, and back (0 for a
// handle that stands for none).
HWND windowHandleFromX11(unsigned long xid);
unsigned long x11WindowFromHandle(HWND window);

}  // namespace nivexa::platform

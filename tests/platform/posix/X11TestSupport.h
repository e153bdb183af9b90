#pragma once

#include <gtest/gtest.h>

#include "platform/WindowTestBitmap.h"
// After GoogleTest, whose names Xlib's macros (None, Status, ...) would replace.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// The test's own connection to the X server the suite runs under (scripts/test.sh starts one),
// used to look at the library's windows from outside as a user would see them.
namespace nivexa::test {

struct WindowPlace {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Asking about a window that is gone is part of these tests: the test connection's errors are
// ignored instead of ending the process. Installed at start-up, before the library puts its own
// handler in front of it.
inline int ignoreXError(Display*, XErrorEvent*) {
  return 0;
}
inline const bool kTestErrorHandlerInstalled = (XSetErrorHandler(ignoreXError), true);

class TestDisplay {
 public:
  TestDisplay() : display_(XOpenDisplay(nullptr)) {}
  ~TestDisplay() {
    if (display_ != nullptr) {
      XCloseDisplay(display_);
    }
  }
  TestDisplay(const TestDisplay&) = delete;
  TestDisplay& operator=(const TestDisplay&) = delete;

  Display* get() const { return display_; }
  explicit operator bool() const { return display_ != nullptr; }
  Window root() const { return DefaultRootWindow(display_); }

  std::string name(Window window) const {
    char* text = nullptr;
    std::string result;
    if (XFetchName(display_, window, &text) && text != nullptr) {
      result = text;
      XFree(text);
    }
    return result;
  }

  std::string windowClass(Window window) const {
    XClassHint hint{};
    std::string result;
    if (XGetClassHint(display_, window, &hint)) {
      result = hint.res_class;
      XFree(hint.res_name);
      XFree(hint.res_class);
    }
    return result;
  }

  // Place inside the parent and size; width 0 for a window that does not exist.
  WindowPlace place(Window window) const {
    XWindowAttributes attributes{};
    XSync(display_, False);
    if (!XGetWindowAttributes(display_, window, &attributes)) {
      return {};
    }
    return {attributes.x, attributes.y, attributes.width, attributes.height};
  }

  std::vector<Window> children(Window parent) const {
    Window rootReturn = 0;
    Window parentReturn = 0;
    Window* list = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    XSync(display_, False);
    if (XQueryTree(display_, parent, &rootReturn, &parentReturn, &list, &count)) {
      result.assign(list, list + count);
      XFree(list);
    }
    return result;
  }

  // The children of `parent` named `windowName`.
  std::vector<Window> childrenNamed(Window parent, const std::string& windowName) const {
    std::vector<Window> found;
    for (Window child : children(parent)) {
      if (name(child) == windowName) {
        found.push_back(child);
      }
    }
    return found;
  }

  // The window's pixels as 0xRRGGBB, top row first.
  std::vector<uint32_t> screenshot(Window window, int width, int height) const {
    std::vector<uint32_t> pixels;
    XSync(display_, False);
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) {
      return pixels;
    }
    pixels.reserve(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
      }
    }
    XDestroyImage(image);
    return pixels;
  }

  Window createWindow(Window parent, WindowPlace p) const {
    const Window window =
        XCreateSimpleWindow(display_, parent, p.x, p.y, static_cast<unsigned>(p.width),
                            static_cast<unsigned>(p.height), 0, 0, 0x404040);
    XMapWindow(display_, window);
    XSync(display_, False);
    return window;
  }

  void destroyWindow(Window window) const {
    XDestroyWindow(display_, window);
    XSync(display_, False);
  }

 private:
  Display* display_;
};

// Polls until `done` holds, up to `timeoutMs`.
inline bool eventually(const std::function<bool()>& done, int timeoutMs = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace nivexa::test

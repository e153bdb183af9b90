#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/WindowTestBitmap.h"

// Looking at the preview window from outside, as a Windows application would: window
// attributes through user32, pixels read back from the window's own DC.
namespace nivexa::test {

// Under Wine the test prefix has the null graphics driver, which draws on no screen. A display
// test runs on a desktop of its own that Wine's X11 driver shows on the X server named by
// DISPLAY, so that what it reads back is what the server shows. A thread can be moved to another
// desktop only while it owns no window, and a thread sees windows of another desktop as hidden:
// the whole process must be there, so the program runs itself again on that desktop and ends
// with the second run's exit code. Called before main (from a namespace-scope initialiser); on
// Windows itself, and in the second run, it does nothing.
void useDisplayDesktop();
// Why the program does not run on a desktop that shows; empty when it does.
const std::string& displayProblem();

// Handles every message queued for the calling thread's windows.
void pumpMessages();
// Polls until `done` holds, up to `timeoutMs`, handling the thread's messages meanwhile.
bool eventually(const std::function<bool()>& done, int timeoutMs = 5000);

// The pixels of the area at (x, y) of the window's client area as 0xRRGGBB, top row first,
// copied from the window's DC into a DIB section of the test's own; empty when that fails.
std::vector<uint32_t> readPixels(HWND window, int x, int y, int width, int height);

std::string className(HWND window);
std::string caption(HWND window);
// The window's outer rectangle in its parent's client coordinates (the screen's for a
// top-level window).
RECT placeInParent(HWND window);
SIZE clientSizeOf(HWND window);

// A plain top-level window of the application's, its client area width x height filled with
// 0x404040; destroyed with the object.
class AppWindow {
 public:
  AppWindow(int width, int height);
  ~AppWindow();
  AppWindow(const AppWindow&) = delete;
  AppWindow& operator=(const AppWindow&) = delete;
  operator HWND() const { return window_; }

 private:
  HWND window_ = nullptr;
};

inline constexpr uint32_t kAppBackground = 0x404040;

}  // namespace nivexa::test

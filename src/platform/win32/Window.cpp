// The preview window on Windows: a window of its own class, drawn into with GDI from the DIB
// sections of the bitmaps. It belongs to the thread that created it; the application pumps its
// messages.
#include "platform/Window.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace nivexa::platform {

namespace {

constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;  // 0x52000000
constexpr DWORD kTopLevelStyle =
    WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;  // 0x16CF0000
constexpr UINT_PTR kChildControlId = 6540;

static_assert(kChildStyle == 0x52000000 && kTopLevelStyle == 0x16CF0000);

// What the drawing thread and the window's own thread share. The user may close the window
// while a frame is being drawn: its DC then goes away on the window's thread, so every use of the
// DC and its release happen under one lock, and nothing is drawn once the window is gone.
struct WindowState {
  std::mutex lock;
  HWND window = nullptr;
  HDC dc = nullptr;
  bool open = true;
};

// The window does nothing of its own but note its end: every message gets the default
// processing, so the window's thread never touches image data. The state outlives whichever of
// the window and its owner goes first.
LRESULT CALLBACK previewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state =
      reinterpret_cast<std::shared_ptr<WindowState>*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (state != nullptr && message == WM_DESTROY) {
    std::lock_guard guard((*state)->lock);
    if ((*state)->dc != nullptr) {
      ReleaseDC(window, (*state)->dc);
      (*state)->dc = nullptr;
    }
    (*state)->open = false;
  } else if (state != nullptr && message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    delete state;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class Win32Window final : public PreviewWindow {
 public:
  Win32Window(std::shared_ptr<WindowState> state, std::string className, HINSTANCE instance)
      : state_(std::move(state)), className_(std::move(className)), instance_(instance) {}
  ~Win32Window() override {
    HWND window = nullptr;
    {
      std::lock_guard guard(state_->lock);
      if (usable()) {
        window = state_->window;
      }
    }
    if (window != nullptr) {
      // Only the window's own thread may destroy it; another thread asks that one to, and
      // waits a little for it to pump (it may be waiting for this very call).
      if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        DestroyWindow(window);
      } else {
        {
          std::lock_guard guard(state_->lock);
          state_->open = false;
        }
        SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_NORMAL, kForeignCloseWaitMs, nullptr);
      }
    }
    // Refused while a window of the class still exists: the name is unique, so none reuses it.
    UnregisterClassA(className_.c_str(), instance_);
  }
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  HWND handle() const override { return state_->window; }
  bool visible() override {
    std::lock_guard guard(state_->lock);
    return usable() && IsWindowVisible(state_->window) != 0;
  }
  void clientSize(int32_t& width, int32_t& height) override {
    std::lock_guard guard(state_->lock);
    RECT client{};
    if (!usable() || !GetClientRect(state_->window, &client)) {
      width = height = 0;
      return;
    }
    width = client.right - client.left;
    height = client.bottom - client.top;
  }
  bool hasDeviceContext() override {
    std::lock_guard guard(state_->lock);
    return usable() && state_->dc != nullptr;
  }

  void copyRowsTurnedOver(const DibPixels& source) override {
    std::lock_guard guard(state_->lock);
    if (!usable() || state_->dc == nullptr) {
      return;
    }
    if (source.deviceContext != nullptr) {
      StretchBlt(state_->dc, 0, 0, source.width, source.height,
                 static_cast<HDC>(source.deviceContext), 0, source.height - 1, source.width,
                 -source.height, SRCCOPY);
      return;
    }
    drawFromMemory(source, true);
  }

  void copy(const DibPixels& source) override {
    std::lock_guard guard(state_->lock);
    if (!usable() || state_->dc == nullptr) {
      return;
    }
    if (source.deviceContext != nullptr) {
      BitBlt(state_->dc, 0, 0, source.width, source.height, static_cast<HDC>(source.deviceContext),
             0, 0, SRCCOPY);
      return;
    }
    drawFromMemory(source, false);
  }

  // GDI batches the calling thread's drawing; nothing drawn reaches a window that is gone.
  bool waitShown(int32_t) override {
    std::lock_guard guard(state_->lock);
    return usable() && GdiFlush() != 0;
  }

 private:
  // Whether the window is still there to be drawn into; called under the lock. When the thread
  // that made the window ends, the system destroys the window and its DC without a message to
  // the window: the DC is then forgotten, never released or drawn into again.
  bool usable() {
    if (state_->open && !IsWindow(state_->window)) {
      state_->open = false;
      state_->dc = nullptr;
    }
    return state_->open;
  }

  static constexpr UINT kForeignCloseWaitMs = 1000;

  // A bitmap without a DIB section (the plain-memory fallback) goes through the same
  // bottom-up description, so both paths show the same picture. Called under the lock.
  void drawFromMemory(const DibPixels& source, bool turnedOver) {
    std::vector<uint32_t> info((sizeof(BITMAPINFOHEADER) + 1024) / sizeof(uint32_t), 0);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = source.width;
    header->biHeight = source.height;
    header->biPlanes = 1;
    header->biBitCount = source.bitsPerPixel;
    header->biCompression = BI_RGB;
    if (source.bitsPerPixel == 8 && source.palette.size() >= 1024) {
      std::memcpy(header + 1, source.palette.data(), 1024);
    }
    const int sourceY = turnedOver ? source.height - 1 : 0;
    const int sourceHeight = turnedOver ? -source.height : source.height;
    StretchDIBits(state_->dc, 0, 0, source.width, source.height, 0, sourceY, source.width,
                  sourceHeight, source.bits, reinterpret_cast<const BITMAPINFO*>(info.data()),
                  DIB_RGB_COLORS, SRCCOPY);
  }

  std::shared_ptr<WindowState> state_;
  std::string className_;
  HINSTANCE instance_;
};

}  // namespace

std::unique_ptr<PreviewWindow> createPreviewWindow(const WindowRequest& request) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;  // 80 bytes
  windowClass.style = 0;
  windowClass.lpfnWndProc = previewWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = request.className.c_str();
  if (RegisterClassExA(&windowClass) == 0) {
    return nullptr;
  }
  HWND window = nullptr;
  if (request.parent != nullptr) {
    window = CreateWindowExA(0, request.className.c_str(), kChildWindowName, kChildStyle, request.x,
                             request.y, request.width, request.height, request.parent,
                             reinterpret_cast<HMENU>(kChildControlId), instance, nullptr);
  } else {
    RECT bounds{0, 0, request.clientWidth, request.clientHeight};
    AdjustWindowRectEx(&bounds, kTopLevelStyle, FALSE, 0);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    x = x < 0 ? 0 : x;
    y = y < 0 ? 0 : y;
    window = CreateWindowExA(0, request.className.c_str(), kTopLevelWindowName, kTopLevelStyle, x,
                             y, width, height, nullptr, nullptr, instance, nullptr);
  }
  if (window == nullptr) {
    UnregisterClassA(request.className.c_str(), instance);
    return nullptr;
  }
  auto state = std::make_shared<WindowState>();
  state->window = window;
  SetWindowLongPtrA(window, GWLP_USERDATA,
                    reinterpret_cast<LONG_PTR>(new std::shared_ptr<WindowState>(state)));
  SetFocus(window);
  ShowWindow(window, SW_SHOW);
  HDC dc = UpdateWindow(window) ? GetDC(window) : nullptr;
  if (dc == nullptr) {
    DestroyWindow(window);
    UnregisterClassA(request.className.c_str(), instance);
    return nullptr;
  }
  state->dc = dc;
  return std::make_unique<Win32Window>(std::move(state), request.className, instance);
}

// Windows applications pass their own window handles; X11 windows do not exist there.
HWND windowHandleFromX11(unsigned long) {
  return nullptr;
}

unsigned long x11WindowFromHandle(HWND) {
  return 0;
}

}  // namespace nivexa::platform

// `nivexa view` on Windows: a top-level window of the tool's own, with the library's preview
// window as its child filling it. The library's frame messages come to the tool's window; the
// tool keeps the title (with the frame rate the library reports), the keyboard and the close
// button; the library draws. Both windows belong to this thread, which pumps their messages.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "View.h"

namespace {

constexpr const char* kViewClass = "NivexaView";
constexpr int kWindowWidth = 1024;
constexpr int kWindowHeight = 768;
constexpr DWORD kViewStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN;
constexpr UINT_PTR kTitleTimer = 1;

// The library's window inside ours follows our size; q or Escape closes ours.
LRESULT CALLBACK viewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (HWND child = FindWindowExA(window, nullptr, nullptr, "ActiveMovie Window")) {
        MoveWindow(child, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      }
      return 0;
    case WM_CHAR:
      if (wParam == 'q' || wParam == 'Q' || wParam == VK_ESCAPE) {
        DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

HWND createViewWindow() {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = viewProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kViewClass;
  if (RegisterClassExA(&windowClass) == 0) {
    return nullptr;
  }
  RECT bounds{0, 0, kWindowWidth, kWindowHeight};
  AdjustWindowRectEx(&bounds, kViewStyle, FALSE, 0);
  return CreateWindowExA(0, kViewClass, "nivexa view", kViewStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                         bounds.right - bounds.left, bounds.bottom - bounds.top, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

int runView(LONG h, double seconds) {
  HWND window = createViewWindow();
  if (window == nullptr) {
    std::fprintf(stderr, "nivexa: view could not make its window\n");
    return 1;
  }
  int status = 0;
  if (!Nivexa_SetPreviewWindow(h, window, 0, 0, kWindowWidth, kWindowHeight) ||
      !Nivexa_CallBackPreview(h, window, nullptr, 0, 1)) {
    std::fprintf(stderr, "nivexa: preview did not start (error %d)\n",
                 static_cast<int>(Nivexa_GetLastError(h)));
    status = 1;
  }
  SetTimer(window, kTitleTimer, 1000, nullptr);
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  LONG rate = 0;
  long frames = 0;
  bool running = status == 0;
  while (running) {
    const DWORD wait = seconds > 0 ? 100 : INFINITE;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    MSG message;
    while (running && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        running = false;
      } else if (message.message == NIVEXA_WM_FRAME && message.hwnd == window) {
        if (message.wParam != 0) {
          rate = reinterpret_cast<const NivexaFrameInfo*>(message.wParam)->frameRate;
          ++frames;
        } else if (message.lParam == NIVEXA_ERR_STREAM_LOST) {
          std::fprintf(stderr, "nivexa: the camera stopped delivering frames\n");
          running = false;
          status = 1;
        }
      } else if (message.message == WM_TIMER && message.hwnd == window) {
        char title[96];
        std::snprintf(title, sizeof title, "nivexa view - %.1f fps", rate / 10.0);
        SetWindowTextA(window, title);
      } else {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
    if (seconds > 0 && Clock::now() - start >= std::chrono::duration<double>(seconds)) {
      running = false;
    }
  }
  Nivexa_Close(h);
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  if (status == 0) {
    std::printf("view: %ld frames in %.1f s, %.1f fps reported by the library\n", frames, elapsed,
                rate / 10.0);
  }
  if (IsWindow(window)) {
    DestroyWindow(window);
  }
  UnregisterClassA(kViewClass, GetModuleHandleA(nullptr));
  return status;
}

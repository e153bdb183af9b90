#include "platform/win32/Win32TestSupport.h"

#include <chrono>
#include <cstdio>

namespace nivexa::test {

namespace {

constexpr const char* kAppClass = "NivexaTestApplication";
// The X server of the tests (scripts/test.sh) has a screen of this size.
constexpr const char* kDesktopSize = "1280x1024";
constexpr int kDesktopWaitMs = 30000;

bool underWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

BOOL CALLBACK countWindow(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// Explorer puts its own windows on a desktop after the desktop window, which names the graphics
// driver: a program that came earlier could load another driver, or start a second explorer.
bool desktopHasWindows(HDESK desktop) {
  int count = 0;
  EnumDesktopWindows(desktop, countWindow, reinterpret_cast<LPARAM>(&count));
  return count > 0;
}

// Names the desktop that the second run of a display test is on.
constexpr const char* kDesktopVariable = "NIVEXA_TEST_DESKTOP";

std::string& problem() {
  static std::string text;
  return text;
}

// Starts the desktop; its explorer.exe ends with the object.
class DisplayDesktop {
 public:
  explicit DisplayDesktop(const std::string& name) {
    std::string command = "explorer.exe /desktop=" + name + "," + kDesktopSize + ",x11";
    // No handles of ours: a test runner waits for its program's output to close.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      problem() = "could not start " + command;
      return;
    }
    CloseHandle(process.hThread);
    explorer_ = process.hProcess;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDesktopWaitMs);
    while (std::chrono::steady_clock::now() < end) {
      HDESK desktop = OpenDesktopA(name.c_str(), 0, FALSE, GENERIC_ALL);
      const bool ready = desktop != nullptr && desktopHasWindows(desktop);
      if (desktop != nullptr) {
        CloseDesktop(desktop);
      }
      if (ready) {
        return;
      }
      if (WaitForSingleObject(explorer_, 20) == WAIT_OBJECT_0) {
        problem() = command + " ended: is DISPLAY an X server?";
        return;
      }
    }
    problem() = command + " made no desktop";
  }
  ~DisplayDesktop() {
    if (explorer_ != nullptr) {
      // Its desktop goes with it; the program that used it has ended.
      TerminateProcess(explorer_, 0);
      WaitForSingleObject(explorer_, 5000);
      CloseHandle(explorer_);
    }
  }
  DisplayDesktop(const DisplayDesktop&) = delete;
  DisplayDesktop& operator=(const DisplayDesktop&) = delete;

 private:
  HANDLE explorer_ = nullptr;
};

// Runs this program again, with its own command line and output, on `desktop`; its exit code,
// or -1 when it did not run.
int runAgainOn(const std::string& desktop) {
  // Wine starts a program's later threads on the desktop of the thread that started the program,
  // whatever the program was told: this thread goes there first.
  HDESK handle = OpenDesktopA(desktop.c_str(), 0, FALSE, GENERIC_ALL);
  if (handle == nullptr || !SetThreadDesktop(handle)) {
    return -1;
  }
  SetEnvironmentVariableA(kDesktopVariable, desktop.c_str());
  std::string command = GetCommandLineA();
  std::string desktopName = desktop;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktopName.data();
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

std::string threadDesktopName() {
  char name[256] = {};
  DWORD length = 0;
  GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name,
                            &length);
  return name;
}

}  // namespace

void useDisplayDesktop() {
  if (!underWine()) {
    return;
  }
  char wanted[256];
  if (GetEnvironmentVariableA(kDesktopVariable, wanted, sizeof wanted) != 0) {
    if (threadDesktopName() != wanted) {
      problem() = std::string("the second run is not on desktop ") + wanted;
    }
    return;
  }
  char display[256];
  if (GetEnvironmentVariableA("DISPLAY", display, sizeof display) == 0) {
    problem() = "these tests need an X server: run them under Xvfb with DISPLAY set";
    return;
  }
  int code = -1;
  {
    const std::string name = "nivexa-display-" + std::to_string(GetCurrentProcessId());
    DisplayDesktop desktop(name);
    if (!problem().empty()) {
      return;
    }
    code = runAgainOn(name);
  }
  if (code == -1) {
    problem() = "could not run the program again on its desktop";
    return;
  }
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(code));
}

const std::string& displayProblem() {
  return problem();
}

void pumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

bool eventually(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pumpMessages();
    if (done()) {
      return true;
    }
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

std::vector<uint32_t> readPixels(HWND window, int x, int y, int width, int height) {
  std::vector<uint32_t> pixels;
  HDC source = GetDC(window);
  if (source == nullptr) {
    return pixels;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC memory = CreateCompatibleDC(source);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (memory != nullptr && bitmap != nullptr && bits != nullptr) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY)) {
      GdiFlush();
      const auto* read = static_cast<const uint32_t*>(bits);
      pixels.assign(read, read + static_cast<size_t>(width) * static_cast<size_t>(height));
      for (uint32_t& pixel : pixels) {
        pixel &= 0xFFFFFF;
      }
    }
    SelectObject(memory, previous);
  }
  if (bitmap != nullptr) {
    DeleteObject(bitmap);
  }
  if (memory != nullptr) {
    DeleteDC(memory);
  }
  ReleaseDC(window, source);
  return pixels;
}

std::string className(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string caption(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

RECT placeInParent(HWND window) {
  RECT place{};
  GetWindowRect(window, &place);
  HWND parent = (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0 ? GetParent(window) : nullptr;
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
  return place;
}

SIZE clientSizeOf(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  return {client.right - client.left, client.bottom - client.top};
}

AppWindow::AppWindow(int width, int height) {
  static const bool registered = [] {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = CreateSolidBrush(RGB(0x40, 0x40, 0x40));
    windowClass.lpszClassName = kAppClass;
    return RegisterClassExA(&windowClass) != 0;
  }();
  if (!registered) {
    return;
  }
  constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN;
  RECT bounds{0, 0, width, height};
  AdjustWindowRectEx(&bounds, kStyle, FALSE, 0);
  window_ = CreateWindowExA(0, kAppClass, "Nivexa test application", kStyle, 0, 0,
                            bounds.right - bounds.left, bounds.bottom - bounds.top, nullptr,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window_ != nullptr) {
    UpdateWindow(window_);
    pumpMessages();
  }
}

AppWindow::~AppWindow() {
  if (window_ != nullptr) {
    DestroyWindow(window_);
    pumpMessages();
  }
}

}  // namespace nivexa::test

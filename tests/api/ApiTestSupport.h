#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "NivexaSdk.h"

namespace nivexa::test {

// Reads the handle's error stack empty, newest first.
inline std::vector<LONG> drainErrors(LONG h) {
  std::vector<LONG> codes;
  for (int i = 0; i < 25; ++i) {
    const LONG code = Nivexa_GetLastError(h);
    if (code == 0) {
      break;
    }
    codes.push_back(code);
  }
  return codes;
}

// A handle whose stack starts empty, released at the end of the scope.
class Handle {
 public:
  explicit Handle(HWND window = nullptr) : h_(Nivexa_Initialize(window)) { drainErrors(h_); }
  ~Handle() { Nivexa_Release(h_); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  operator LONG() const { return h_; }

 private:
  LONG h_;
};

// Windows that receive the library's messages as an application's would: the library's message
// sinks on Linux, message-only windows on Windows (read on the thread that made them).
struct TestMessage {
  HWND hwnd;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};
HWND createTestWindow();
void destroyTestWindow(HWND window);
// Takes the oldest queued message of the window (null: of the calling thread), waiting up to
// timeoutMs (0: not at all; negative: without limit).
bool takeMessage(HWND window, TestMessage& out, int32_t timeoutMs = 0);
// How many posted messages one window's queue holds before further posts fail.
extern const size_t kTestWindowCapacity;

// A test window destroyed at the end of the scope.
class Sink {
 public:
  Sink() : hwnd_(createTestWindow()) {}
  ~Sink() { destroyTestWindow(hwnd_); }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  operator HWND() const { return hwnd_; }

  // Every message queued now, oldest first.
  std::vector<TestMessage> take() const {
    std::vector<TestMessage> all;
    TestMessage message{};
    while (takeMessage(hwnd_, message)) {
      all.push_back(message);
    }
    return all;
  }

 private:
  HWND hwnd_;
};

}  // namespace nivexa::test

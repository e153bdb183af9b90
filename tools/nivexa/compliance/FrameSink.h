#pragma once

#include <cstdint>

#include "NivexaSdk.h"

namespace nivexa::compliance {

// A window the library posts NIVEXA_WM_FRAME and NIVEXA_WM_ERROR to, as an application's would
// be: the library's message sink (on Windows a message-only window, read only by the thread that
// made it, so each scenario makes its own on its own thread).
struct PostedMessage {
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

class FrameSink {
 public:
  FrameSink();
  ~FrameSink();
  FrameSink(const FrameSink&) = delete;
  FrameSink& operator=(const FrameSink&) = delete;

  HWND window() const { return window_; }
  bool valid() const { return window_ != nullptr; }
  // The oldest message, waiting up to timeoutMs; false on time-out.
  bool next(PostedMessage& out, int32_t timeoutMs);
  // Drops every message queued now.
  void clear();

 private:
  HWND window_;
};

}  // namespace nivexa::compliance

#pragma once

#include <cstdint>

#include "NivexaSdk.h"

namespace nivexa::tool {

// Where the tool receives the library's frame messages: a message sink of the library on Linux,
// a message-only window on Windows. Read on the thread that made it.
HWND createFrameWindow();
void destroyFrameWindow(HWND window);

struct FrameMessage {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};
// The oldest message of the window, waiting up to timeoutMs; false when none came.
bool takeFrameMessage(HWND window, FrameMessage& out, int32_t timeoutMs);

}  // namespace nivexa::tool

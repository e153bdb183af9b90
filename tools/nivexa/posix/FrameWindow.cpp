#include "FrameWindow.h"

#include "NivexaMessages.h"

namespace nivexa::tool {

HWND createFrameWindow() {
  return NivexaMsg_CreateSink();
}

void destroyFrameWindow(HWND window) {
  NivexaMsg_DestroySink(window);
}

bool takeFrameMessage(HWND window, FrameMessage& out, int32_t timeoutMs) {
  NivexaMsg message{};
  if (!NivexaMsg_Get(window, &message, timeoutMs)) {
    return false;
  }
  out = {message.message, message.wParam, message.lParam};
  return true;
}

}  // namespace nivexa::tool

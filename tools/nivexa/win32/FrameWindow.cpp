// Windows are shared by the whole process, so the platform's message-only windows reach the DLL
// as any application's windows do.
#include "FrameWindow.h"

#include "platform/Messages.h"

namespace nivexa::tool {

HWND createFrameWindow() {
  return platform::createMessageSink();
}

void destroyFrameWindow(HWND window) {
  platform::destroyMessageSink(window);
}

bool takeFrameMessage(HWND window, FrameMessage& out, int32_t timeoutMs) {
  platform::Message message{};
  if (!platform::getMessage(window, message, timeoutMs)) {
    return false;
  }
  out = {message.message, message.wParam, message.lParam};
  return true;
}

}  // namespace nivexa::tool

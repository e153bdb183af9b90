// Real windows are shared by the whole process, so the platform's message-only windows serve
// the DLL as an application's windows would.
#include "api/ApiTestSupport.h"
#include "platform/Messages.h"

namespace nivexa::test {

// The system's default limit of posted messages per queue.
const size_t kTestWindowCapacity = 10000;

HWND createTestWindow() {
  return platform::createMessageSink();
}

void destroyTestWindow(HWND window) {
  platform::destroyMessageSink(window);
}

bool takeMessage(HWND window, TestMessage& out, int32_t timeoutMs) {
  platform::Message message{};
  if (!platform::getMessage(window, message, timeoutMs)) {
    return false;
  }
  out = {message.hwnd, message.message, message.wParam, message.lParam};
  return true;
}

}  // namespace nivexa::test

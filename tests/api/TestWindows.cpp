#include "NivexaMessages.h"
#include "api/ApiTestSupport.h"

namespace nivexa::test {

const size_t kTestWindowCapacity = NIVEXA_MSG_CAPACITY;

HWND createTestWindow() {
  return NivexaMsg_CreateSink();
}

void destroyTestWindow(HWND window) {
  NivexaMsg_DestroySink(window);
}

bool takeMessage(HWND window, TestMessage& out, int32_t timeoutMs) {
  NivexaMsg message{};
  if (!NivexaMsg_Get(window, &message, timeoutMs)) {
    return false;
  }
  out = {message.hwnd, message.message, message.wParam, message.lParam};
  return true;
}

}  // namespace nivexa::test

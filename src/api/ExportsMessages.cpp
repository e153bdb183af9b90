#include "NivexaMessages.h"
#include "platform/Messages.h"

extern "C" {

NIVEXA_API HWND NivexaMsg_CreateSink(void) {
  try {
    return nivexa::platform::createMessageSink();
  } catch (...) {
    return nullptr;
  }
}

NIVEXA_API void NivexaMsg_DestroySink(HWND sink) {
  try {
    nivexa::platform::destroyMessageSink(sink);
  } catch (...) {
  }
}

NIVEXA_API BOOL NivexaMsg_Get(HWND sink, NivexaMsg* out, LONG timeoutMs) {
  if (out == nullptr) {
    return 0;
  }
  try {
    nivexa::platform::Message message{};
    if (!nivexa::platform::getMessage(sink, message, timeoutMs)) {
      return 0;
    }
    *out = NivexaMsg{message.hwnd, message.message, message.wParam, message.lParam};
    return 1;
  } catch (...) {
    return 0;
  }
}

NIVEXA_API int NivexaMsg_Fd(HWND sink) {
  try {
    return nivexa::platform::messageSinkFd(sink);
  } catch (...) {
    return -1;
  }
}

}  // extern "C"

#include "FrameSink.h"

#include "platform/Messages.h"

namespace nivexa::compliance {

// A window handle is the system's on Windows, so the platform layer's message-only window is
// the same window to the library.
FrameSink::FrameSink() : window_(nivexa::platform::createMessageSink()) {}

FrameSink::~FrameSink() {
  nivexa::platform::destroyMessageSink(window_);
}

bool FrameSink::next(PostedMessage& out, int32_t timeoutMs) {
  nivexa::platform::Message message{};
  if (!nivexa::platform::getMessage(window_, message, timeoutMs)) {
    return false;
  }
  out = {message.message, message.wParam, message.lParam};
  return true;
}

void FrameSink::clear() {
  PostedMessage ignored;
  while (next(ignored, 0)) {
  }
}

}  // namespace nivexa::compliance

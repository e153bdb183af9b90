#include "FrameSink.h"

#include "NivexaMessages.h"

namespace nivexa::compliance {

// The library's own sinks: a message-only window on Windows, the library's stand-in on Linux.
FrameSink::FrameSink() : window_(NivexaMsg_CreateSink()) {}

FrameSink::~FrameSink() {
  NivexaMsg_DestroySink(window_);
}

bool FrameSink::next(PostedMessage& out, int32_t timeoutMs) {
  NivexaMsg message{};
  if (!NivexaMsg_Get(window_, &message, timeoutMs)) {
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

#include "FrameSink.h"

#include "NivexaMessages.h"

namespace nivexa::compliance {

// The library's own sinks: the tool's copy of the platform layer has a sink table of its own,
// which the library would not know.
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

#pragma once

#include <vector>

#include "NivexaMessages.h"
#include "NivexaSdk.h"

namespace nivexa::test {

// Reads the handle's error stack empty, newest first.
inline std::vector<LONG> drainErrors(LONG h) {
  std::vector<LONG> codes;
  for (int i = 0; i < 25; ++i) {
    const LONG code = Nivexa_GetLastError(h);
    if (code == 0) {
      break;
    }
    codes.push_back(code);
  }
  return codes;
}

// A handle whose stack starts empty, released at the end of the scope.
class Handle {
 public:
  explicit Handle(HWND window = nullptr) : h_(Nivexa_Initialize(window)) { drainErrors(h_); }
  ~Handle() { Nivexa_Release(h_); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  operator LONG() const { return h_; }

 private:
  LONG h_;
};

// A message sink destroyed at the end of the scope.
class Sink {
 public:
  Sink() : hwnd_(NivexaMsg_CreateSink()) {}
  ~Sink() { NivexaMsg_DestroySink(hwnd_); }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  operator HWND() const { return hwnd_; }

  // Every message queued now, oldest first.
  std::vector<NivexaMsg> take() const {
    std::vector<NivexaMsg> all;
    NivexaMsg message{};
    while (NivexaMsg_Get(hwnd_, &message, 0)) {
      all.push_back(message);
    }
    return all;
  }

 private:
  HWND hwnd_;
};

}  // namespace nivexa::test

#include "platform/Thread.h"

#include <windows.h>

#include <system_error>

namespace nivexa::platform {

Thread::~Thread() {
  join();
}

bool Thread::start(std::function<void()> body, Priority priority) {
  if (thread_.joinable()) {
    return false;
  }
  try {
    // The thread raises itself before its first instruction of work, so no frame of a capture
    // run is read at normal priority.
    thread_ = std::thread([body = std::move(body), priority] {
      if (priority == Priority::TimeCritical) {
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
      }
      body();
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void Thread::join() {
  if (thread_.joinable() && !isCurrent()) {
    thread_.join();
  }
}

}  // namespace nivexa::platform

#include "platform/Thread.h"

#include <windows.h>

#include <system_error>

namespace nivexa::platform {

Thread::~Thread() {
  // The last owner of the object this thread works on may let go on the thread itself; it
  // cannot join itself, and it is about to end anyway, so it runs on detached.
  if (thread_.joinable() && isCurrent()) {
    thread_.detach();
    return;
  }
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

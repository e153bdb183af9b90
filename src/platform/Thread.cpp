#include "platform/Thread.h"

#include <system_error>

namespace nivexa::platform {

Thread::~Thread() {
  // The last owner of the object this thread works on may let go on the thread itself; it
  // cannot join itself, and it is about to end anyway, so it runs on detached.
  if (thread_.joinable() && isCurrent()) {
    thread_.detach();
    id_.store({});
    return;
  }
  join();
}

bool Thread::start(std::function<void()> body, Priority priority) {
  if (thread_.joinable()) {
    return false;
  }
  try {
    // The thread takes its priority before its first instruction of work, so no frame of a
    // capture run is read at normal priority.
    thread_ = std::thread([this, body = std::move(body), priority] {
      id_.store(std::this_thread::get_id());
      setCurrentPriority(priority);
      body();
    });
  } catch (const std::system_error&) {
    return false;
  }
  id_.store(thread_.get_id());
  return true;
}

void Thread::join() {
  if (thread_.joinable() && !isCurrent()) {
    thread_.join();
    // A later thread may be given the same id.
    id_.store({});
  }
}

}  // namespace nivexa::platform

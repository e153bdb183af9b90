#include "platform/Thread.h"

#include <pthread.h>
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
      } else if (priority == Priority::Background) {
        lowerCurrentThreadPriority();
      }
      body();
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void lowerCurrentThreadPriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

namespace {

uint64_t cpuNs(HANDLE thread) {
  FILETIME created{};
  FILETIME exited{};
  FILETIME kernel{};
  FILETIME user{};
  if (thread == nullptr || !GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
    return 0;
  }
  constexpr uint64_t kNsPerTick = 100;  // FILETIME counts 100 ns
  constexpr int kHighShift = 32;
  auto ticks = [](const FILETIME& t) {
    return (uint64_t{t.dwHighDateTime} << kHighShift) | t.dwLowDateTime;
  };
  return (ticks(kernel) + ticks(user)) * kNsPerTick;
}

}  // namespace

uint64_t Thread::cpuTimeNs() {
  // std::thread runs on the POSIX layer of MinGW; it knows the Windows thread underneath.
  return thread_.joinable() ? cpuNs(static_cast<HANDLE>(pthread_gethandle(thread_.native_handle())))
                            : 0;
}

uint64_t currentThreadCpuNs() {
  return cpuNs(GetCurrentThread());
}

void Thread::join() {
  if (thread_.joinable() && !isCurrent()) {
    thread_.join();
  }
}

}  // namespace nivexa::platform

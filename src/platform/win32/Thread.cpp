#include "platform/Thread.h"

#include <pthread.h>
#include <windows.h>

namespace nivexa::platform {

void Thread::setCurrentPriority(Priority priority) {
  if (priority == Priority::TimeCritical) {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  } else if (priority == Priority::Background) {
    lowerCurrentThreadPriority();
  }
}

void lowerCurrentThreadPriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

void yieldCurrentThread() {
  (void)SwitchToThread();
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

}  // namespace nivexa::platform

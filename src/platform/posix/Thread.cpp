#include "platform/Thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <time.h>

namespace nivexa::platform {

namespace {

constexpr int kBackgroundNice = 10;

}  // namespace

void Thread::setCurrentPriority(Priority priority) {
  if (priority == Priority::TimeCritical) {
    // Real-time scheduling needs privileges most users lack; the thread then keeps the normal
    // priority, which is what a best-effort request means here.
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  } else if (priority == Priority::Background) {
    lowerCurrentThreadPriority();
  }
}

// On Linux the nice value belongs to the calling thread alone; raising it needs no privilege.
void lowerCurrentThreadPriority() {
  (void)setpriority(PRIO_PROCESS, 0, kBackgroundNice);
}

void yieldCurrentThread() {
  (void)sched_yield();
}

namespace {

uint64_t clockNs(clockid_t clock) {
  constexpr uint64_t kNsPerSecond = 1000000000;
  timespec t{};
  if (clock_gettime(clock, &t) != 0) {
    return 0;
  }
  return static_cast<uint64_t>(t.tv_sec) * kNsPerSecond + static_cast<uint64_t>(t.tv_nsec);
}

}  // namespace

uint64_t Thread::cpuTimeNs() {
  clockid_t clock{};
  if (!thread_.joinable() || pthread_getcpuclockid(thread_.native_handle(), &clock) != 0) {
    return 0;
  }
  return clockNs(clock);
}

uint64_t currentThreadCpuNs() {
  return clockNs(CLOCK_THREAD_CPUTIME_ID);
}

}  // namespace nivexa::platform

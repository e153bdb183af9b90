#include "platform/Thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <time.h>

#include <system_error>

namespace nivexa::platform {

namespace {

constexpr int kBackgroundNice = 10;

// Real-time scheduling needs privileges most users lack; the thread then keeps the normal
// priority, which is what a best-effort request means here.
void raisePriority(std::thread& thread) {
  sched_param param{};
  param.sched_priority = sched_get_priority_max(SCHED_FIFO);
  (void)pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param);
}

}  // namespace

// On Linux the nice value belongs to the calling thread alone; raising it needs no privilege.
void lowerCurrentThreadPriority() {
  (void)setpriority(PRIO_PROCESS, 0, kBackgroundNice);
}

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
    thread_ = std::thread([body = std::move(body), priority] {
      if (priority == Priority::Background) {
        lowerCurrentThreadPriority();
      }
      body();
    });
  } catch (const std::system_error&) {
    return false;
  }
  if (priority == Priority::TimeCritical) {
    raisePriority(thread_);
  }
  return true;
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

void Thread::join() {
  if (thread_.joinable() && !isCurrent()) {
    thread_.join();
  }
}

}  // namespace nivexa::platform

#pragma once

#include <cstdint>
#include <functional>
#include <thread>

namespace nivexa::platform {

// A joinable thread. The owner must join before it goes away; the destructor joins as a last
// resort so that no thread ever outlives the object it works on. Destroyed on its own thread
// (its owner went away there), it is detached instead: the thread is then ending anyway.
class Thread {
 public:
  // Background: below the process's other threads, for work that must not delay them.
  enum class Priority { Normal, TimeCritical, Background };

  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread();

  // False when a thread is already running or the OS refused to create one.
  bool start(std::function<void()> body, Priority priority = Priority::Normal);
  void join();
  bool joinable() const { return thread_.joinable(); }
  bool isCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }
  // The CPU time (user and system) the thread has used so far, for measuring what a piece of
  // the library costs; 0 when no thread runs or the system does not tell.
  uint64_t cpuTimeNs();

 private:
  std::thread thread_;
};

// The CPU time (user and system) the calling thread has used so far.
uint64_t currentThreadCpuNs();

// Puts the calling thread below the process's other threads, as Priority::Background starts one.
void lowerCurrentThreadPriority();

}  // namespace nivexa::platform

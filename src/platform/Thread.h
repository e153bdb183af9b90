#pragma once

#include <atomic>
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
  // Safe from any thread, also while another one starts or joins this one.
  bool isCurrent() const { return id_.load() == std::this_thread::get_id(); }
  // The CPU time (user and system) the thread has used so far, for measuring what a piece of
  // the library costs; 0 when no thread runs or the system does not tell.
  uint64_t cpuTimeNs();

 private:
  // Runs first on the new thread, before its body.
  static void setCurrentPriority(Priority priority);

  std::thread thread_;
  // A copy of the running thread's id that readers on other threads may load while the owner
  // assigns or joins thread_; the new thread stores it itself before its body runs, so a body
  // asking whether it is this thread always learns that it is.
  std::atomic<std::thread::id> id_{};
};

// The CPU time (user and system) the calling thread has used so far.
uint64_t currentThreadCpuNs();

// Puts the calling thread below the process's other threads, as Priority::Background starts one.
void lowerCurrentThreadPriority();

// Lets another thread that is ready to run have the calling thread's core now.
void yieldCurrentThread();

}  // namespace nivexa::platform

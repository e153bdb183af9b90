#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace nivexa::transport {

// A lock taken in the order it was asked for. An application that changes settings from several
// threads in tight loops would otherwise keep the capture thread's FPGA accesses (a frame-header
// recovery, a stream restart) waiting for seconds: a plain mutex lets the thread that just
// released it take it again first. Not recursive.
class FairLock {
 public:
  void lock() {
    std::unique_lock<std::mutex> guard(mutex_);
    const uint64_t ticket = next_++;
    turn_.wait(guard, [&] { return serving_ == ticket; });
  }
  void unlock() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      ++serving_;
    }
    turn_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable turn_;
  uint64_t next_ = 0;
  uint64_t serving_ = 0;
};

}  // namespace nivexa::transport

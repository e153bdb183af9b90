#pragma once

#include <mutex>

namespace nivexa::platform {

// Recursive, like the OS critical sections the rest of the code was designed around: a thread
// that already holds it may take it again (the image lock is re-entered by nested operations).
class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void lock() { mutex_.lock(); }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

using CriticalSectionGuard = std::lock_guard<CriticalSection>;

}  // namespace nivexa::platform

#pragma once

#include <array>
#include <cstdint>
#include <mutex>

namespace nivexa::camera {

// The last 20 error codes of one camera object, newest first. Recording pushes the oldest out;
// reading pops the newest and refills with 0 from the bottom.
class ErrorStack {
 public:
  static constexpr size_t kDepth = 20;

  void push(uint32_t code);
  uint32_t pop();
  std::array<uint32_t, kDepth> snapshot() const;

 private:
  // The acquisition thread records while caller threads read; the lock is a leaf, never held
  // while anything else is taken.
  mutable std::mutex mutex_;
  std::array<uint32_t, kDepth> codes_{};
};

}  // namespace nivexa::camera

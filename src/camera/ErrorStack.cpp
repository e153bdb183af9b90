#include "camera/ErrorStack.h"

#include <algorithm>

namespace nivexa::camera {

void ErrorStack::push(uint32_t code) {
  std::lock_guard lock(mutex_);
  std::copy_backward(codes_.begin(), codes_.end() - 1, codes_.end());
  codes_[0] = code;
}

uint32_t ErrorStack::pop() {
  std::lock_guard lock(mutex_);
  const uint32_t newest = codes_[0];
  std::copy(codes_.begin() + 1, codes_.end(), codes_.begin());
  codes_.back() = 0;
  return newest;
}

std::array<uint32_t, ErrorStack::kDepth> ErrorStack::snapshot() const {
  std::lock_guard lock(mutex_);
  return codes_;
}

}  // namespace nivexa::camera

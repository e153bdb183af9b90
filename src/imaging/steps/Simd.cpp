#include "imaging/steps/Simd.h"

#include <atomic>

namespace nivexa::imaging::steps {
namespace {

std::atomic<bool> allowedFlag{true};

bool cpuHasAvx2() {
#if defined(NIVEXA_HAVE_AVX2_KERNELS)
  // Initialised here, so that a first call made during static initialisation also sees the flags.
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
#else
  return false;
#endif
}

}  // namespace

bool useAvx2() {
  return cpuHasAvx2() && allowedFlag.load(std::memory_order_relaxed);
}

void setAvx2Allowed(bool allowed) {
  allowedFlag.store(allowed, std::memory_order_relaxed);
}

}  // namespace nivexa::imaging::steps

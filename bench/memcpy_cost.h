#pragma once
// The unit the acquisition benchmarks count CPU in: one memcpy of a frame.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Thread.h"

namespace nivexa::bench {

inline constexpr int kMemcpyRounds = 20;
// Well beyond the last-level cache of the machines this runs on.
inline constexpr size_t kColdBytes = size_t{256} << 20;

// CPU nanoseconds of one memcpy of `bytes` on this thread, warm (both sides in the cache) or cold
// (from and to memory that has left the cache, as a frame the camera or another thread wrote
// has, more or less).
inline double memcpyNs(size_t bytes, bool cold) {
  if (cold) {
    const size_t count = kColdBytes / bytes + 1;
    std::vector<std::vector<uint8_t>> from(count, std::vector<uint8_t>(bytes, 1));
    std::vector<std::vector<uint8_t>> to(count, std::vector<uint8_t>(bytes, 2));
    const uint64_t start = nivexa::platform::currentThreadCpuNs();
    for (size_t i = 0; i < count; ++i) {
      std::memcpy(to[i].data(), from[i].data(), bytes);
      benchmark::DoNotOptimize(to[i].data());
    }
    return static_cast<double>(nivexa::platform::currentThreadCpuNs() - start) /
           static_cast<double>(count);
  }
  std::vector<uint8_t> from(bytes, 1);
  std::vector<uint8_t> to(bytes);
  std::memcpy(to.data(), from.data(), bytes);
  const uint64_t start = nivexa::platform::currentThreadCpuNs();
  for (int i = 0; i < kMemcpyRounds; ++i) {
    from[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
  }
  return static_cast<double>(nivexa::platform::currentThreadCpuNs() - start) / kMemcpyRounds;
}

}  // namespace nivexa::bench

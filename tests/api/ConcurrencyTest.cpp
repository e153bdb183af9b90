// Handles created, used and released from many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "api/ApiTestSupport.h"

namespace nivexa::test {
namespace {

TEST(Concurrency, CreateUseAndReleaseFromEightThreadsWhileOthersCallIn) {
  constexpr int kOwners = 8;
  // Fewer under a sanitizer: 30 rounds still cross every release with calls in flight many
  // times over, where 150 took over four minutes.
  constexpr int kRounds = NIVEXA_TEST_SANITIZED ? 30 : 150;
  std::mutex liveMutex;
  std::vector<LONG> live;  // handles that the callers pick from; may be released at any time
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};

  auto owner = [&](int seed) {
    std::mt19937 random(static_cast<unsigned>(seed));
    for (int round = 0; round < kRounds; ++round) {
      const LONG h = Nivexa_Initialize(nullptr);
      if (h == 0) {
        ++failures;
        continue;
      }
      {
        std::lock_guard lock(liveMutex);
        live.push_back(h);
      }
      const LONG wait = static_cast<LONG>(random() % 1000);
      if (Nivexa_SetWaitTime(h, wait) != 1 || Nivexa_GetWaitTime(h) != wait) {
        ++failures;  // only this thread writes this handle's wait time
      }
      Nivexa_SendText(h, nullptr);
      std::this_thread::yield();
      {
        std::lock_guard lock(liveMutex);
        std::erase(live, h);
      }
      if (Nivexa_Release(h) != 1) {
        ++failures;
      }
    }
  };

  auto caller = [&](int seed) {
    std::mt19937 random(static_cast<unsigned>(seed));
    while (!stop) {
      LONG h = 0;
      {
        std::lock_guard lock(liveMutex);
        if (!live.empty()) {
          h = live[random() % live.size()];
        }
      }
      // The handle may be released between the pick and these calls: each must then simply
      // fail with its failure value.
      BOOL ok = 0;
      Nivexa_GetLastError(h);
      Nivexa_Fps(h);
      Nivexa_GetBrightness(h, &ok);
      Nivexa_SetColorMode(h, 16);
      if (Nivexa_GetColorMode(h) == 0) {
        ++failures;
      }
      Nivexa_Width(h);
      Nivexa_Close(h);
      TestMessage drained{};
      while (takeMessage(nullptr, drained)) {
      }
    }
  };

  std::vector<std::thread> callers;
  for (int i = 0; i < 3; ++i) {
    callers.emplace_back(caller, 100 + i);
  }
  std::vector<std::thread> owners;
  for (int i = 0; i < kOwners; ++i) {
    owners.emplace_back(owner, i);
  }
  for (auto& thread : owners) {
    thread.join();
  }
  stop = true;
  for (auto& thread : callers) {
    thread.join();
  }
  EXPECT_EQ(failures.load(), 0);
  EXPECT_TRUE(live.empty());
}

TEST(Concurrency, ConcurrentReleasesOfOneHandleSucceedOnce) {
  for (int round = 0; round < 50; ++round) {
    const LONG h = Nivexa_Initialize(nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
      threads.emplace_back([&] { released += Nivexa_Release(h); });
    }
    for (auto& thread : threads) {
      thread.join();
    }
    ASSERT_EQ(released.load(), 1);
  }
}

}  // namespace
}  // namespace nivexa::test

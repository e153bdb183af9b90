#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/Clock.h"
#include "platform/CriticalSection.h"
#include "platform/Event.h"

namespace nivexa::platform {
namespace {

TEST(Thread, RunsBodyAndJoins) {
  std::atomic<int> ran{0};
  Thread thread;
  ASSERT_TRUE(thread.start([&] { ran = 1; }, Thread::Priority::TimeCritical));
  EXPECT_FALSE(thread.start([] {})) << "a running thread cannot be started again";
  thread.join();
  EXPECT_EQ(ran.load(), 1);
  EXPECT_FALSE(thread.joinable());
  EXPECT_TRUE(thread.start([&] { ran = 2; })) << "a joined thread object can be reused";
  thread.join();
  EXPECT_EQ(ran.load(), 2);
}

TEST(Thread, DestructorJoins) {
  std::atomic<bool> finished{false};
  {
    Thread thread;
    thread.start([&] {
      sleepMs(20);
      finished = true;
    });
  }
  EXPECT_TRUE(finished.load());
}

TEST(Thread, DestroyedOnItsOwnThreadLetsTheThreadFinish) {
  // The thread's body holds the last reference to its own Thread, as a worker does whose owner
  // object is released from under it; dropping it there must neither abort nor deadlock.
  auto owner = std::make_shared<Thread>();
  std::atomic<bool> finished{false};
  Event dropped(Event::Reset::Manual);
  auto holder = std::make_shared<std::shared_ptr<Thread>>(owner);
  ASSERT_TRUE(owner->start([holder, &finished, &dropped] {
    dropped.wait(kInfinite);
    holder->reset();
    finished = true;
  }));
  owner.reset();
  dropped.set();
  for (int i = 0; i < 500 && !finished; ++i) {
    sleepMs(2);
  }
  EXPECT_TRUE(finished.load());
}

// A stop asks whether it runs on the stream's own thread before it may take any lock, so the
// question is asked from other threads while the owner starts and joins that thread, and from
// the thread itself as its first act, possibly before start() has returned.
TEST(Thread, KnowsItselfFromItsFirstInstructionWhileOthersAsk) {
  Thread thread;
  std::atomic<bool> asking{true};
  std::atomic<int> wrongAnswers{0};
  std::thread other([&] {
    while (asking) {
      if (thread.isCurrent()) {
        ++wrongAnswers;
      }
    }
  });
  constexpr int kStarts = 200;
  std::atomic<int> knewItself{0};
  for (int i = 0; i < kStarts; ++i) {
    ASSERT_TRUE(thread.start([&] {
      if (thread.isCurrent()) {
        ++knewItself;
      }
    }));
    thread.join();
    EXPECT_FALSE(thread.isCurrent());
  }
  asking = false;
  other.join();
  EXPECT_EQ(knewItself.load(), kStarts);
  EXPECT_EQ(wrongAnswers.load(), 0);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  CriticalSection section;
  CriticalSectionGuard outer(section);
  {
    CriticalSectionGuard inner(section);  // the owner may enter again
  }
  std::atomic<bool> entered{false};
  Thread other;
  other.start([&] {
    CriticalSectionGuard guard(section);
    entered = true;
  });
  sleepMs(20);
  EXPECT_FALSE(entered.load());
  section.unlock();
  other.join();
  EXPECT_TRUE(entered.load());
  section.lock();  // balance the guard's unlock
}

TEST(Clock, SleepAdvancesBothClocks) {
  TimerPeriodGuard fineTimer;
  const uint32_t tick = tickCount();
  const uint32_t mm = timeGetTime();
  sleepMs(50);
  // The tick count may move in steps of the system tick (about 16 ms on Windows); the
  // multimedia clock counts milliseconds.
  EXPECT_GE(tickCount() - tick, 30u);
  EXPECT_GE(timeGetTime() - mm, 49u);
}

}  // namespace
}  // namespace nivexa::platform

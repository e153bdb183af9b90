#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Clock.h"

namespace nivexa::platform {
namespace {

TEST(Event, AutoResetReleasesOneWaiterAndClears) {
  Event event(Event::Reset::Auto);
  EXPECT_FALSE(event.wait(0));
  event.set();
  EXPECT_TRUE(event.wait(0));
  EXPECT_FALSE(event.wait(0)) << "an auto-reset event clears when a wait takes it";
}

TEST(Event, ManualResetStaysSetForEveryWaiter) {
  Event event(Event::Reset::Manual, true);
  EXPECT_TRUE(event.wait(0));
  EXPECT_TRUE(event.wait(0));
  event.reset();
  EXPECT_FALSE(event.wait(0));
}

TEST(Event, TimedWaitGivesUpAfterItsLimit) {
  Event event(Event::Reset::Auto);
  // The multimedia clock: the tick count may move in 16 ms steps.
  TimerPeriodGuard fineTimer;
  const uint32_t start = timeGetTime();
  EXPECT_FALSE(event.wait(30));
  EXPECT_GE(timeGetTime() - start, 29u);
}

TEST(Event, SetFromAnotherThreadWakesAnUnlimitedWait) {
  Event event(Event::Reset::Manual);
  std::thread setter([&] {
    sleepMs(10);
    event.set();
  });
  EXPECT_TRUE(event.wait(kInfinite));
  setter.join();
}

TEST(Event, AutoResetHandsEachSetToExactlyOneOfManyWaiters) {
  // Two sets with a waiter taking each in between; two back-to-back sets would be one, as an
  // event that is already set stays just set.
  Event event(Event::Reset::Auto);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      if (event.wait(500)) {
        ++released;
      }
    });
  }
  sleepMs(20);
  event.set();
  sleepMs(20);
  event.set();
  for (auto& waiter : waiters) {
    waiter.join();
  }
  EXPECT_EQ(released.load(), 2);
}

TEST(NamedEvent, SameNameIsTheSameEventWhileHeld) {
  auto first = openNamedEvent("thread end", Event::Reset::Manual, false);
  auto second = openNamedEvent("thread end", Event::Reset::Auto, true);
  EXPECT_EQ(first.get(), second.get());
  EXPECT_FALSE(second->isSet()) << "opening an existing name keeps its state";
  auto other = openNamedEvent("another", Event::Reset::Manual, false);
  EXPECT_NE(first.get(), other.get());
}

TEST(NamedEvent, NameIsFreedWhenTheLastHolderLetsGo) {
  const Event* firstAddress = nullptr;
  {
    auto first = openNamedEvent("transient", Event::Reset::Manual, true);
    firstAddress = first.get();
    EXPECT_TRUE(first->isSet());
  }
  auto fresh = openNamedEvent("transient", Event::Reset::Manual, false);
  EXPECT_FALSE(fresh->isSet()) << "a new event, not the one that was set (address "
                               << static_cast<const void*>(firstAddress) << ")";
}

}  // namespace
}  // namespace nivexa::platform

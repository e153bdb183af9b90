#include "platform/Messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace nivexa::platform {
namespace {

// Each sink is read on the thread that made it: on Windows that is the only thread that can.
TEST(MessageSink, DeliversInOrderToItsOwnWindow) {
  HWND sink = createMessageSink();
  ASSERT_NE(sink, nullptr);
  ASSERT_TRUE(postMessage(sink, 0x8003, 0, 9));
  ASSERT_TRUE(postMessage(sink, 0x8002, 1234, 0));
  Message out{};
  ASSERT_TRUE(getMessage(sink, out, 0));
  EXPECT_EQ(out.hwnd, sink);
  EXPECT_EQ(out.message, 0x8003u);
  EXPECT_EQ(out.lParam, 9);
  ASSERT_TRUE(getMessage(sink, out, 0));
  EXPECT_EQ(out.message, 0x8002u);
  EXPECT_EQ(out.wParam, 1234u);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(getMessage(sink, out, 30));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
  destroyMessageSink(sink);
}

TEST(MessageSink, MessagesOfTwoSinksDoNotMix) {
  HWND first = createMessageSink();
  HWND second = createMessageSink();
  ASSERT_NE(first, second);
  ASSERT_TRUE(postMessage(first, 0x8003, 0, 1));
  ASSERT_TRUE(postMessage(second, 0x8003, 0, 2));
  Message out{};
  ASSERT_TRUE(getMessage(second, out, 0));
  EXPECT_EQ(out.lParam, 2);
  EXPECT_FALSE(getMessage(second, out, 0));
  ASSERT_TRUE(getMessage(first, out, 0));
  EXPECT_EQ(out.lParam, 1);
  destroyMessageSink(first);
  destroyMessageSink(second);
}

TEST(MessageSink, DestroyedSinkIsNoWindowAndRefusesPosts) {
  HWND sink = createMessageSink();
  EXPECT_TRUE(isWindow(sink));
  destroyMessageSink(sink);
  EXPECT_FALSE(isWindow(sink));
  EXPECT_FALSE(postMessage(sink, 0x8003, 0, 1));
  Message out{};
  EXPECT_FALSE(getMessage(sink, out, 0));
  destroyMessageSink(sink);  // a second destroy is harmless
  EXPECT_FALSE(isWindow(nullptr));
}

TEST(MessageSink, HandlesAreNeverHandedOutTwice) {
  // A destroyed sink's memory is reused at once by the next one; its handle must not be.
  std::vector<HWND> seen;
  HWND stale = createMessageSink();
  seen.push_back(stale);
  destroyMessageSink(stale);
  for (int i = 0; i < 200; ++i) {
    HWND sink = createMessageSink();
    ASSERT_NE(sink, nullptr);
    seen.push_back(sink);
    if (i % 2 == 0) {
      destroyMessageSink(sink);
    }
  }
  std::vector<HWND> sorted = seen;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  EXPECT_FALSE(postMessage(stale, 0x8003, 0, 1)) << "the dead handle reaches no newer sink";
  for (size_t i = 2; i < seen.size(); i += 2) {
    Message out{};
    EXPECT_FALSE(getMessage(seen[i], out, 0));
    destroyMessageSink(seen[i]);
  }
}

TEST(MessageSink, NullWindowIsTheCallingThreadsOwnQueue) {
  HWND sink = createMessageSink();
  ASSERT_TRUE(postMessage(nullptr, 0x8003, 0, 11));
  std::thread other([] {
    Message out{};
    EXPECT_FALSE(getMessage(nullptr, out, 0)) << "another thread's queue is empty";
  });
  other.join();
  Message out{};
  EXPECT_FALSE(getMessage(sink, out, 0)) << "a window's queue holds no thread messages";
  ASSERT_TRUE(getMessage(nullptr, out, 0));
  EXPECT_EQ(out.hwnd, nullptr);
  EXPECT_EQ(out.lParam, 11);
  destroyMessageSink(sink);
}

TEST(MessageSink, WaitingReaderIsWokenByAPostFromAnotherThread) {
  HWND sink = createMessageSink();
  std::thread poster([sink] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    postMessage(sink, 0x8002, 0, 13);
  });
  Message out{};
  EXPECT_TRUE(getMessage(sink, out, 2000));
  EXPECT_EQ(out.lParam, 13);
  poster.join();
  destroyMessageSink(sink);
}

TEST(DeviceNotification, AcceptedOnlyForLiveWindows) {
  HWND sink = createMessageSink();
  const std::array<uint8_t, 16> guid{0x32, 0x81, 0x84, 0xC5, 0x93, 0xE6, 0x49, 0xB7,
                                     0x94, 0xB8, 0x2A, 0xDA, 0x13, 0xAA, 0xBB, 0x39};
  EXPECT_TRUE(registerDeviceInterfaceNotification(sink, guid));
  destroyMessageSink(sink);
  EXPECT_FALSE(registerDeviceInterfaceNotification(sink, guid));
  EXPECT_FALSE(registerDeviceInterfaceNotification(nullptr, guid));
}

}  // namespace
}  // namespace nivexa::platform

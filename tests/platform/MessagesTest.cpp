#include "platform/Messages.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "NivexaMessages.h"

namespace nivexa::platform {
namespace {

bool readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

TEST(MessageSink, DeliversInOrderAndItsFdTracksTheQueue) {
  HWND sink = createMessageSink();
  ASSERT_NE(sink, nullptr);
  const int fd = messageSinkFd(sink);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(readable(fd));
  ASSERT_TRUE(postMessage(sink, 0x8003, 0, 9));
  ASSERT_TRUE(postMessage(sink, 0x8002, 1234, 0));
  EXPECT_TRUE(readable(fd));
  Message out{};
  ASSERT_TRUE(getMessage(sink, out, 0));
  EXPECT_EQ(out.hwnd, sink);
  EXPECT_EQ(out.message, 0x8003u);
  EXPECT_EQ(out.lParam, 9);
  EXPECT_TRUE(readable(fd)) << "one message is still queued";
  ASSERT_TRUE(getMessage(sink, out, 0));
  EXPECT_EQ(out.wParam, 1234u);
  EXPECT_FALSE(readable(fd));
  EXPECT_FALSE(getMessage(sink, out, 10));
  destroyMessageSink(sink);
}

TEST(MessageSink, FullSinkRefusesFurtherPosts) {
  HWND sink = createMessageSink();
  for (size_t i = 0; i < kMessageQueueCapacity; ++i) {
    ASSERT_TRUE(postMessage(sink, 0x8003, 0, static_cast<intptr_t>(i)));
  }
  EXPECT_FALSE(postMessage(sink, 0x8003, 0, 0));
  Message out{};
  ASSERT_TRUE(getMessage(sink, out, 0));
  EXPECT_EQ(out.lParam, 0) << "the oldest message comes first and was not overwritten";
  EXPECT_TRUE(postMessage(sink, 0x8003, 0, 1)) << "room again after one was read";
  destroyMessageSink(sink);
}

TEST(MessageSink, DestroyedSinkIsNoWindowAndWakesItsReader) {
  HWND sink = createMessageSink();
  EXPECT_TRUE(isWindow(sink));
  std::thread reader([sink] {
    Message out{};
    EXPECT_FALSE(getMessage(sink, out, -1));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  destroyMessageSink(sink);
  reader.join();
  EXPECT_FALSE(isWindow(sink));
  EXPECT_FALSE(postMessage(sink, 0x8003, 0, 1));
  EXPECT_EQ(messageSinkFd(sink), -1);
  destroyMessageSink(sink);  // a second destroy is harmless
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
  ASSERT_TRUE(postMessage(nullptr, 0x8003, 0, 11));
  std::thread other([] {
    Message out{};
    EXPECT_FALSE(getMessage(nullptr, out, 0)) << "another thread's queue is empty";
  });
  other.join();
  Message out{};
  ASSERT_TRUE(getMessage(nullptr, out, 0));
  EXPECT_EQ(out.hwnd, nullptr);
  EXPECT_EQ(out.lParam, 11);
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
  const std::array<uint8_t, 16> guid{};
  EXPECT_TRUE(registerDeviceInterfaceNotification(sink, guid));
  destroyMessageSink(sink);
  EXPECT_FALSE(registerDeviceInterfaceNotification(sink, guid));
  EXPECT_FALSE(registerDeviceInterfaceNotification(nullptr, guid));
}

}  // namespace
}  // namespace nivexa::platform

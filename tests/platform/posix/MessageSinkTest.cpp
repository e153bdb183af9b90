// What only the Linux message sinks do: a descriptor to wait on, a bounded queue, and readers on
// any thread.
#include <gtest/gtest.h>
#include <poll.h>

#include <thread>

#include "platform/Messages.h"

namespace nivexa::platform {
namespace {

bool readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

TEST(MessageSinkFd, TracksTheQueue) {
  HWND sink = createMessageSink();
  const int fd = messageSinkFd(sink);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(readable(fd));
  ASSERT_TRUE(postMessage(sink, 0x8003, 0, 9));
  ASSERT_TRUE(postMessage(sink, 0x8002, 1234, 0));
  EXPECT_TRUE(readable(fd));
  Message out{};
  ASSERT_TRUE(getMessage(sink, out, 0));
  EXPECT_TRUE(readable(fd)) << "one message is still queued";
  ASSERT_TRUE(getMessage(sink, out, 0));
  EXPECT_FALSE(readable(fd));
  destroyMessageSink(sink);
  EXPECT_EQ(messageSinkFd(sink), -1);
}

TEST(MessageSinkFd, FullSinkRefusesFurtherPosts) {
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

TEST(MessageSinkFd, DestroyWakesAReaderOnAnotherThread) {
  HWND sink = createMessageSink();
  std::thread reader([sink] {
    Message out{};
    EXPECT_FALSE(getMessage(sink, out, -1));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  destroyMessageSink(sink);
  reader.join();
}

}  // namespace
}  // namespace nivexa::platform

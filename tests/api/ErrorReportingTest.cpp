// The error stack and the messages that announce each error.
#include <gtest/gtest.h>

#include "api/ApiTestSupport.h"

namespace nivexa::test {
namespace {

// Error 11 is the one code every handle can be made to record without a camera.
void recordUnsupported(LONG h, int times) {
  for (int i = 0; i < times; ++i) {
    Nivexa_SendText(h, nullptr);
  }
}

TEST(ErrorStack, KeepsTheTwentyNewestCodes) {
  Handle h;
  Nivexa_SetColorMode(h, 7);  // 9: pushed out by the 20 below
  recordUnsupported(h, 19);
  Nivexa_SetColorMode(h, 7);  // 9, newest
  Nivexa_SetSubSample(h, 9);  // records nothing
  recordUnsupported(h, 1);
  // Now 21 codes were recorded: the oldest 9 is gone.
  const auto codes = drainErrors(h);
  ASSERT_EQ(codes.size(), 20u);
  EXPECT_EQ(codes[0], 11);
  EXPECT_EQ(codes[1], 9);
  for (size_t i = 2; i < codes.size(); ++i) {
    EXPECT_EQ(codes[i], 11) << i;
  }
  EXPECT_EQ(Nivexa_GetLastError(h), 0);
  EXPECT_EQ(Nivexa_GetLastError(h), 0);
}

TEST(ErrorStack, GetLastErrorOfHandleZeroIsZero) {
  EXPECT_EQ(Nivexa_GetLastError(0), 0);
}

TEST(ErrorStack, SendTextRecordsAndFpsOnlyPosts) {
  Handle h;
  EXPECT_EQ(Nivexa_Fps(h), 0);
  EXPECT_EQ(Nivexa_GetHalfClock(h), 0);
  EXPECT_EQ(Nivexa_SetCrossbar(h), 0);
  EXPECT_EQ(Nivexa_SetHalfClock(h), 0);
  EXPECT_EQ(Nivexa_GetLastError(h), 0) << "the clock group leaves the stack unchanged";
  EXPECT_EQ(Nivexa_SendText(h, nullptr), 0);
  EXPECT_EQ(Nivexa_ReceiveText(h, nullptr), 0);
  EXPECT_EQ(Nivexa_GetConfigFilter(h), -1);
  EXPECT_EQ(Nivexa_SetConfigFilter(h), -1);
  EXPECT_EQ(drainErrors(h), (std::vector<LONG>{11, 11, 11, 11}));
  // Posts to a null notification window land in this thread's own queue.
  int posted = 0;
  TestMessage message{};
  while (takeMessage(nullptr, message)) {
    EXPECT_EQ(message.message, static_cast<uint32_t>(NIVEXA_WM_ERROR));
    EXPECT_EQ(message.lParam, 11);
    ++posted;
  }
  EXPECT_EQ(posted, 4) << "one post per clock-group call, none for recorded errors";
}

TEST(ErrorMessages, EveryRecordedErrorIsPostedToTheNotificationWindow) {
  Sink sink;
  const LONG h = Nivexa_Initialize(sink);
  ASSERT_NE(h, 0);
  auto messages = sink.take();
  EXPECT_TRUE(messages.empty()) << "finding no camera is no error";

  Nivexa_SendText(h, nullptr);
  Nivexa_SetColorMode(h, 3);
  messages = sink.take();
  ASSERT_EQ(messages.size(), 2u);
  for (const auto& message : messages) {
    EXPECT_EQ(message.hwnd, static_cast<HWND>(sink));
    EXPECT_EQ(message.message, static_cast<uint32_t>(NIVEXA_WM_ERROR));
    EXPECT_EQ(message.wParam, 0u);
  }
  EXPECT_EQ(messages[0].lParam, 11);
  EXPECT_EQ(messages[1].lParam, 9);

  EXPECT_EQ(Nivexa_Fps(h), 0);
  messages = sink.take();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].lParam, 11) << "a posted-only error also reaches the window";
  EXPECT_EQ(drainErrors(h), (std::vector<LONG>{9, 11}))
      << "while the stack holds only the recorded ones";
  EXPECT_TRUE(sink.take().empty()) << "reading the stack posts nothing";
  Nivexa_Release(h);
}

TEST(ErrorMessages, NullWindowRecordsWithoutPosting) {
  const LONG h = Nivexa_Initialize(nullptr);
  ASSERT_NE(h, 0);
  Nivexa_SendText(h, nullptr);
  TestMessage message{};
  EXPECT_FALSE(takeMessage(nullptr, message));
  EXPECT_EQ(drainErrors(h), (std::vector<LONG>{11}));
  Nivexa_Release(h);
}

TEST(ErrorMessages, StaleWindowStopsInitializationButStillGivesAHandle) {
  HWND stale = createTestWindow();
  destroyTestWindow(stale);
  const LONG h = Nivexa_Initialize(stale);
  ASSERT_NE(h, 0);
  EXPECT_EQ(Nivexa_GetLastError(h), NIVEXA_ERR_ARGUMENT) << "the refused window is reported";
  EXPECT_EQ(Nivexa_GetLastError(h), 0) << "and initialisation ends there";
  Nivexa_SendText(h, nullptr);
  EXPECT_EQ(Nivexa_GetLastError(h), 11) << "the handle still works";
  Nivexa_Release(h);
}

TEST(ErrorMessages, FullSinkDoesNotBlockOrLoseTheStack) {
  Sink sink;
  const LONG h = Nivexa_Initialize(sink);
  const size_t posts = kTestWindowCapacity + 50;
  for (size_t i = 0; i < posts; ++i) {
    Nivexa_SendText(h, nullptr);
  }
  // Wine's queues have no limit; Windows' and the Linux sinks' stop at their capacity.
  const size_t delivered = sink.take().size();
  EXPECT_TRUE(delivered == kTestWindowCapacity || delivered == posts) << delivered;
  EXPECT_EQ(drainErrors(h).size(), 20u);
  Nivexa_Release(h);
}

}  // namespace
}  // namespace nivexa::test

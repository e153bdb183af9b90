// The library's preview window through the exports under Wine, on an X server: which window a
// placement makes, whose it is, where, and what it shows, read back from the window's DC.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "camera/CameraTestSupport.h"
#include "camera/PreviewExpectations.h"
#include "platform/win32/Win32TestSupport.h"

namespace nivexa::camera::test {
namespace {

using nivexa::test::AppWindow;
using nivexa::test::clientSizeOf;
using nivexa::test::eventually;
using nivexa::test::placeInParent;
using nivexa::test::readPixels;

[[maybe_unused]] const bool kOnDisplay = (nivexa::test::useDisplayDesktop(), true);

BOOL CALLBACK collectPreviewWindow(HWND window, LPARAM found) {
  if (nivexa::test::className(window).rfind("VideoRenderer_", 0) == 0 &&
      nivexa::test::caption(window) == "Active Window") {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  }
  return TRUE;
}

class PreviewWindowTest : public CameraTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(nivexa::test::displayProblem(), "");
    CameraTest::SetUp();
    // 8-bit monochrome frames of 1024 x 768: the sensor subsampled by 2.
    ASSERT_EQ(Nivexa_SetColorMode(h_, 8), 1);
    ASSERT_EQ(Nivexa_SetSubSample(h_, 1), 1);
  }

  // The library's top-level windows on the desktop now.
  static std::vector<HWND> topLevelWindows() {
    std::vector<HWND> found;
    EnumWindows(collectPreviewWindow, reinterpret_cast<LPARAM>(&found));
    return found;
  }

  // The one top-level window that is in `after` and not in `before`; null when not exactly one.
  static HWND newWindow(const std::vector<HWND>& before, const std::vector<HWND>& after) {
    HWND made = nullptr;
    for (HWND window : after) {
      if (std::find(before.begin(), before.end(), window) == before.end()) {
        if (made != nullptr) {
          return nullptr;
        }
        made = window;
      }
    }
    return made;
  }

  // Starts a preview that announces its frames to `frames_`.
  BOOL startPreview() { return Nivexa_CallBackPreview(h_, frames_, nullptr, 0, 1); }

  Sink frames_;
};

TEST_F(PreviewWindowTest, TopLevelWindowOfASubsampledFrameIs1024x768AndShowsItUpright) {
  const auto before = topLevelWindows();
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 0, 0, 640, 480), 1);
  ASSERT_EQ(startPreview(), 1);
  HWND window = newWindow(before, topLevelWindows());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId())
      << "the window belongs to the thread that started the preview";
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), 0x16CF0000u);
  const SIZE client = clientSizeOf(window);
  EXPECT_EQ(client.cx, kHalfWidth) << "the client area is the frame, not the rectangle";
  EXPECT_EQ(client.cy, kHalfHeight);
  const RECT place = placeInParent(window);
  EXPECT_EQ(place.left,
            std::max(0L, (GetSystemMetrics(SM_CXSCREEN) - place.right + place.left) / 2));
  EXPECT_EQ(place.top,
            std::max(0L, (GetSystemMetrics(SM_CYSCREEN) - place.bottom + place.top) / 2));

  const auto frame = lastFrameAfterSomeFrames(h_, frames_);
  // One-to-one: the window shows the frame pixel for pixel, its top row at the top.
  const auto expected = shownOneToOne(frame);
  EXPECT_TRUE(
      eventually([&] { return readPixels(window, 0, 0, kHalfWidth, kHalfHeight) == expected; }));
  EXPECT_NE(frame.front(), frame.back()) << "a picture whose orientation can be seen";

  ASSERT_EQ(Nivexa_Close(h_), 1);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(topLevelWindows(), before);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(PreviewWindowTest, ChildWindowSitsInTheApplicationsWindowAndShowsTheFrameScaled) {
  AppWindow parent(600, 420);
  ASSERT_NE(static_cast<HWND>(parent), nullptr);
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, parent, 20, 30, 512, 384), 1);
  ASSERT_EQ(startPreview(), 1);
  HWND child = FindWindowExA(parent, nullptr, nullptr, "ActiveMovie Window");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(nivexa::test::className(child).rfind("VideoRenderer_", 0), 0u);
  EXPECT_EQ(GetDlgCtrlID(child), 6540);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)), 0x52000000u);
  const RECT place = placeInParent(child);
  EXPECT_EQ(place.left, 20);
  EXPECT_EQ(place.top, 30);
  EXPECT_EQ(place.right - place.left, 512);
  EXPECT_EQ(place.bottom - place.top, 384);

  const auto frame = lastFrameAfterSomeFrames(h_, frames_);
  const auto expected = shownAtHalfSize(frame);
  EXPECT_TRUE(eventually([&] { return readPixels(child, 0, 0, 512, 384) == expected; }));

  ASSERT_EQ(Nivexa_Close(h_), 1);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(FindWindowExA(parent, nullptr, nullptr, "ActiveMovie Window"), nullptr);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(PreviewWindowTest, AChildResizedByTheApplicationShowsTheFrameAtItsNewSize) {
  AppWindow parent(600, 420);
  ASSERT_NE(static_cast<HWND>(parent), nullptr);
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, parent, 20, 30, 512, 384), 1);
  ASSERT_EQ(startPreview(), 1);
  HWND child = FindWindowExA(parent, nullptr, nullptr, "ActiveMovie Window");
  ASSERT_NE(child, nullptr);
  nivexa::test::TestMessage message{};
  ASSERT_TRUE(nextMessage(frames_, message, kFrameWaitMs));
  ASSERT_TRUE(MoveWindow(child, 10, 5, 300, 200, TRUE));
  frames_.take();

  const auto frame = lastFrameAfterSomeFrames(h_, frames_);
  const auto expected =
      shownScaled(frame, kHalfWidth, kHalfHeight, 300, 200, [](uint8_t v) { return v; });
  EXPECT_TRUE(eventually([&] { return readPixels(child, 0, 0, 300, 200) == expected; }));
  ASSERT_EQ(Nivexa_Close(h_), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

// Sixteen-bit samples carry twelve bits: the window shows each as its value / 16, through the
// display bitmap even when the window is as large as the frame.
TEST_F(PreviewWindowTest, SixteenBitFramesShowTheirValueOver16Upright) {
  ASSERT_EQ(Nivexa_SetColorMode(h_, 16), 1);
  const auto before = topLevelWindows();
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 0, 0, 640, 480), 1);
  ASSERT_EQ(startPreview(), 1);
  HWND window = newWindow(before, topLevelWindows());
  ASSERT_NE(window, nullptr);
  nivexa::test::TestMessage message{};
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(nextMessage(frames_, message, kFrameWaitMs));
  }
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  std::vector<uint8_t> bytes(size_t{kHalfWidth} * kHalfHeight * 2);
  ASSERT_EQ(Nivexa_GetImage(h_, bytes.data(), LONG(bytes.size()), 1), 1);
  std::vector<uint16_t> frame(bytes.size() / 2);
  for (size_t i = 0; i < frame.size(); ++i) {
    frame[i] = static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  const auto expected =
      shownScaled(frame, kHalfWidth, kHalfHeight, kHalfWidth, kHalfHeight,
                  [](uint16_t v) { return static_cast<uint8_t>(std::min(v / 16, 255)); });
  EXPECT_TRUE(
      eventually([&] { return readPixels(window, 0, 0, kHalfWidth, kHalfHeight) == expected; }));
  EXPECT_NE(expected.front(), expected.back());
  ASSERT_EQ(Nivexa_Close(h_), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(PreviewWindowTest, AParentThatIsNoWindowIsError4AndTheStreamStillRunsWithoutAWindow) {
  HWND gone = nullptr;
  {
    AppWindow parent(100, 100);
    gone = parent;
  }
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, gone, 0, 0, 320, 240), 1);
  EXPECT_EQ(Nivexa_Preview(h_), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_WINDOW});

  const auto before = topLevelWindows();
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 0, 0, 0, 0), 1);
  Sink frames;
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames, nullptr, 0, 1), 1);
  nivexa::test::TestMessage message{};
  ASSERT_TRUE(nextMessage(frames, message, kFrameWaitMs));
  EXPECT_NE(message.wParam, 0u);
  EXPECT_EQ(topLevelWindows(), before) << "neither parent nor rectangle";
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(PreviewWindowTest, ARecordingShowsItsFramesInTheWindowWhenAskedTo) {
  const std::string file = (std::filesystem::temp_directory_path() /
                            ("nivexa-preview-" + std::to_string(GetCurrentProcessId()) + ".avi"))
                               .string();
  const auto before = topLevelWindows();
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 0, 0, 1, 1), 1);
  ASSERT_EQ(Nivexa_Record(h_, file.c_str(), 300, 0), 1);
  EXPECT_EQ(topLevelWindows(), before) << "show window not set";
  ASSERT_EQ(Nivexa_Close(h_), 1);
  ASSERT_EQ(Nivexa_Record(h_, file.c_str(), 300, 1), 1);
  HWND window = newWindow(before, topLevelWindows());
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(eventually([&] {
    const auto shot = readPixels(window, 0, 0, kHalfWidth, kHalfHeight);
    return !shot.empty() && std::any_of(shot.begin(), shot.end(), [](uint32_t p) { return p; });
  })) << "frames reach the window";
  ASSERT_EQ(Nivexa_Close(h_), 1);
  EXPECT_EQ(topLevelWindows(), before);
  EXPECT_EQ(errors(), std::vector<LONG>{});
  std::filesystem::remove(file);
}

TEST_F(PreviewWindowTest, ClosingTheWindowLeavesTheStreamToTheApplication) {
  const auto before = topLevelWindows();
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 1, 1, 1, 1), 1);
  Sink frames;
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames, nullptr, 0, 1), 1);
  HWND window = newWindow(before, topLevelWindows());
  ASSERT_NE(window, nullptr);
  // What the close button sends; the application's loop hands it to the window.
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(eventually([&] { return !IsWindow(window); }));
  frames.take();
  nivexa::test::TestMessage message{};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(nextMessage(frames, message, kFrameWaitMs));
    EXPECT_NE(message.wParam, 0u);
  }
  EXPECT_EQ(Nivexa_Close(h_), 1);
  EXPECT_EQ(topLevelWindows(), before);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

// The thread that started the preview owns the window; the application may end the stream from
// another one, whereupon the owner closes the window as it pumps its messages.
TEST_F(PreviewWindowTest, ClosingFromAnotherThreadEndsTheWindowThroughItsOwner) {
  const auto before = topLevelWindows();
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 0, 0, 640, 480), 1);
  ASSERT_EQ(startPreview(), 1);
  HWND window = newWindow(before, topLevelWindows());
  ASSERT_NE(window, nullptr);
  nivexa::test::TestMessage message{};
  ASSERT_TRUE(nextMessage(frames_, message, kFrameWaitMs));
  std::atomic<int> closed{-1};
  std::thread other([&] { closed = Nivexa_Close(h_); });
  EXPECT_TRUE(eventually([&] { return closed != -1 && !IsWindow(window); }, kFrameWaitMs));
  other.join();
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(topLevelWindows(), before);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

// The system destroys a thread's windows when the thread ends: a preview started on a thread
// that has ended since goes on without its window, and closes cleanly.
TEST_F(PreviewWindowTest, APreviewStartedOnAThreadThatHasEndedGoesOnWithoutItsWindow) {
  const auto before = topLevelWindows();
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 0, 0, 640, 480), 1);
  BOOL started = FALSE;
  std::thread starter([&] { started = startPreview(); });
  starter.join();
  ASSERT_EQ(started, TRUE);
  EXPECT_TRUE(eventually([&] { return topLevelWindows() == before; }));
  frames_.take();
  nivexa::test::TestMessage message{};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(nextMessage(frames_, message, kFrameWaitMs));
    EXPECT_NE(message.wParam, 0u);
  }
  EXPECT_EQ(Nivexa_Close(h_), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

}  // namespace
}  // namespace nivexa::camera::test

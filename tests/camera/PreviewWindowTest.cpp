// The library's preview window through the exports, under a real X server: which window a
// placement makes, where, what it shows, and what happens when no window can be had.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "NivexaWindows.h"
#include "camera/CameraTestSupport.h"
#include "camera/PreviewExpectations.h"
// Xlib's macros (None, Status, ...) come after everything that uses those names.
#include "platform/posix/X11TestSupport.h"

namespace nivexa::camera::test {
namespace {

using nivexa::test::eventually;
using nivexa::test::TestDisplay;

class PreviewWindowTest : public CameraTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display_) << "these tests need an X server: run them under Xvfb (scripts/test.sh)";
    CameraTest::SetUp();
    // 8-bit monochrome frames of 1024 x 768: the sensor subsampled by 2.
    ASSERT_EQ(Nivexa_SetColorMode(h_, 8), 1);
    ASSERT_EQ(Nivexa_SetSubSample(h_, 1), 1);
  }

  // The library's top-level windows on the screen now.
  std::vector<Window> topLevelWindows() const {
    auto windows = display_.childrenNamed(display_.root(), "Active Window");
    std::erase_if(
        windows, [&](Window w) { return display_.windowClass(w).rfind("VideoRenderer_", 0) != 0; });
    return windows;
  }

  // Starts a preview that announces its frames to `frames_`.
  BOOL startPreview() { return Nivexa_CallBackPreview(h_, frames_, nullptr, 0, 1); }

  std::vector<uint8_t> lastFrameAfterSomeFrames() {
    return test::lastFrameAfterSomeFrames(h_, frames_);
  }

  Sink frames_;
  TestDisplay display_;
};

TEST_F(PreviewWindowTest, TopLevelWindowOfASubsampledFrameIs1024x768AndShowsItUpright) {
  const auto before = topLevelWindows();
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 0, 0, 640, 480), 1);
  ASSERT_EQ(startPreview(), 1);
  auto after = topLevelWindows();
  ASSERT_EQ(after.size(), before.size() + 1);
  const Window window = after.back();
  const auto place = display_.place(window);
  EXPECT_EQ(place.width, kHalfWidth) << "the client area is the frame, not the rectangle";
  EXPECT_EQ(place.height, kHalfHeight);

  const auto frame = lastFrameAfterSomeFrames();
  // One-to-one: the window shows the frame pixel for pixel, its top row at the top.
  const auto expected = shownOneToOne(frame);
  EXPECT_TRUE(
      eventually([&] { return display_.screenshot(window, kHalfWidth, kHalfHeight) == expected; }));
  EXPECT_NE(frame.front(), frame.back()) << "a picture whose orientation can be seen";

  ASSERT_EQ(Nivexa_Close(h_), 1);
  EXPECT_EQ(topLevelWindows().size(), before.size());
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(PreviewWindowTest, ChildWindowSitsInTheApplicationsWindowAndShowsTheFrameScaled) {
  const Window parent = display_.createWindow(display_.root(), {0, 0, 600, 420});
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, NivexaWin_FromXWindow(parent), 20, 30, 512, 384), 1);
  ASSERT_EQ(startPreview(), 1);
  const auto children = display_.childrenNamed(parent, "ActiveMovie Window");
  ASSERT_EQ(children.size(), 1u);
  const auto place = display_.place(children[0]);
  EXPECT_EQ(place.x, 20);
  EXPECT_EQ(place.y, 30);
  EXPECT_EQ(place.width, 512);
  EXPECT_EQ(place.height, 384);

  const auto frame = lastFrameAfterSomeFrames();
  const auto expected = shownAtHalfSize(frame);
  EXPECT_TRUE(eventually([&] { return display_.screenshot(children[0], 512, 384) == expected; }));

  ASSERT_EQ(Nivexa_Close(h_), 1);
  EXPECT_TRUE(display_.childrenNamed(parent, "ActiveMovie Window").empty());
  display_.destroyWindow(parent);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(PreviewWindowTest, AMessageSinkIsNoParentAndTheStreamStillRunsWithoutAWindow) {
  Sink sink;
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, sink, 0, 0, 320, 240), 1);
  EXPECT_EQ(Nivexa_Preview(h_), 0);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_WINDOW});

  const auto before = topLevelWindows();
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 0, 0, 0, 0), 1);
  Sink frames;
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames, nullptr, 0, 1), 1);
  nivexa::test::TestMessage message{};
  ASSERT_TRUE(nextMessage(frames, message, kFrameWaitMs));
  EXPECT_NE(message.wParam, 0u);
  EXPECT_EQ(topLevelWindows().size(), before.size()) << "neither parent nor rectangle";
  ASSERT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(PreviewWindowTest, WithoutADisplayAPlacementIsError4AndFramesStillFlow) {
  const std::string saved = std::getenv("DISPLAY");
  unsetenv("DISPLAY");
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 0, 0, 640, 480), 1);
  Sink frames;
  EXPECT_EQ(Nivexa_CallBackPreview(h_, frames, nullptr, 0, 1), 0);
  EXPECT_EQ(Nivexa_Trigger(h_, frames, nullptr, 0, 1), 0);
  EXPECT_EQ(errors(), (std::vector<LONG>{NIVEXA_ERR_WINDOW, NIVEXA_ERR_WINDOW}));
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 0, 0, 0, 0), 1);
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames, nullptr, 0, 1), 1);
  nivexa::test::TestMessage message{};
  EXPECT_TRUE(nextMessage(frames, message, kFrameWaitMs));
  EXPECT_EQ(Nivexa_Close(h_), 1);
  setenv("DISPLAY", saved.c_str(), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

TEST_F(PreviewWindowTest, ARecordingShowsItsFramesInTheWindowWhenAskedTo) {
  const std::string file = (std::filesystem::temp_directory_path() /
                            ("nivexa-preview-" + std::to_string(getpid()) + ".avi"))
                               .string();
  const auto before = topLevelWindows();
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 0, 0, 1, 1), 1);
  ASSERT_EQ(Nivexa_Record(h_, file.c_str(), 300, 0), 1);
  EXPECT_EQ(topLevelWindows().size(), before.size()) << "show window not set";
  ASSERT_EQ(Nivexa_Close(h_), 1);
  ASSERT_EQ(Nivexa_Record(h_, file.c_str(), 300, 1), 1);
  EXPECT_EQ(topLevelWindows().size(), before.size() + 1);
  ASSERT_EQ(Nivexa_Close(h_), 1);
  EXPECT_EQ(topLevelWindows().size(), before.size());

  const std::string saved = std::getenv("DISPLAY");
  unsetenv("DISPLAY");
  EXPECT_EQ(Nivexa_Record(h_, file.c_str(), 300, 1), 0);
  setenv("DISPLAY", saved.c_str(), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{NIVEXA_ERR_WINDOW});
  std::filesystem::remove(file);
}

TEST_F(PreviewWindowTest, ClosingTheWindowLeavesTheStreamToTheApplication) {
  ASSERT_EQ(Nivexa_SetPreviewWindow(h_, nullptr, 1, 1, 1, 1), 1);
  Sink frames;
  ASSERT_EQ(Nivexa_CallBackPreview(h_, frames, nullptr, 0, 1), 1);
  const Window window = topLevelWindows().back();
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_.get(), "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] =
      static_cast<long>(XInternAtom(display_.get(), "WM_DELETE_WINDOW", False));
  XSendEvent(display_.get(), window, False, NoEventMask, &event);
  XSync(display_.get(), False);
  EXPECT_TRUE(eventually([&] { return display_.place(window).width == 0; }));
  frames.take();
  nivexa::test::TestMessage message{};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(nextMessage(frames, message, kFrameWaitMs));
    EXPECT_NE(message.wParam, 0u);
  }
  EXPECT_EQ(Nivexa_Close(h_), 1);
  EXPECT_EQ(errors(), std::vector<LONG>{});
}

}  // namespace
}  // namespace nivexa::camera::test

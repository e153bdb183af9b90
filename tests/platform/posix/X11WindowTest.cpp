// The preview window under a real X server: what exists on the screen, where, and which pixels
// it shows, looked at through a connection of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "platform/Window.h"
#include "platform/WindowTestBitmap.h"
#include "platform/posix/X11TestSupport.h"

namespace nivexa::platform {
namespace {

using test::grayPixel;
using test::grayRamp;
using test::TestBitmap;
using test::TestDisplay;

constexpr int kWaitMs = 5000;

std::unique_ptr<PreviewWindow> topLevel(int32_t width, int32_t height,
                                        const std::string& className = "VideoRenderer_test") {
  WindowRequest request;
  request.x = 1;
  request.clientWidth = width;
  request.clientHeight = height;
  request.className = className;
  return createPreviewWindow(request);
}

Window xWindowOf(const PreviewWindow& window) {
  return x11WindowFromHandle(window.handle());
}

class X11WindowTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display_) << "these tests need an X server: run them under Xvfb (scripts/test.sh)";
    // The shared-memory transfer, or plain XPutImage as for a server that does not offer it.
    setenv("NIVEXA_X11_SHM", GetParam() ? "1" : "0", 1);
  }
  void TearDown() override { unsetenv("NIVEXA_X11_SHM"); }

  TestDisplay display_;
};

TEST_P(X11WindowTest, TopLevelWindowIsNamedCentredAndAsLargeAsItsClientArea) {
  auto window = topLevel(64, 48, "VideoRenderer_0000abcd_00001234");
  ASSERT_NE(window, nullptr);
  const Window xid = xWindowOf(*window);
  EXPECT_EQ(display_.name(xid), "Active Window");
  EXPECT_EQ(display_.windowClass(xid), "VideoRenderer_0000abcd_00001234");
  const auto place = display_.place(xid);
  EXPECT_EQ(place.width, 64);
  EXPECT_EQ(place.height, 48);
  const int screenWidth = DisplayWidth(display_.get(), DefaultScreen(display_.get()));
  EXPECT_EQ(place.x, (screenWidth - 64) / 2);
  int32_t width = 0;
  int32_t height = 0;
  window->clientSize(width, height);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 48);
  EXPECT_TRUE(window->visible());
}

TEST_P(X11WindowTest, RowsTurnedOverPutMemoryRowZeroAtTheTopAndPlainCopiesTheBottom) {
  auto window = topLevel(37, 21);
  ASSERT_NE(window, nullptr);
  const TestBitmap gray = grayRamp(37, 21);
  window->copyRowsTurnedOver(gray.view());
  ASSERT_TRUE(window->waitShown(kWaitMs));
  auto shot = display_.screenshot(xWindowOf(*window), 37, 21);
  ASSERT_EQ(shot.size(), 37u * 21u);
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 37; ++x) {
      ASSERT_EQ(shot[static_cast<size_t>(y * 37 + x)],
                grayPixel(static_cast<uint8_t>(3 * x + 7 * y)))
          << x << "," << y;
    }
  }

  // 24 bits, drawn as a bitmap shows itself: its last memory row at the top.
  const TestBitmap colour = test::colourRamp(5, 3);
  window->copy(colour.view());
  ASSERT_TRUE(window->waitShown(kWaitMs));
  shot = display_.screenshot(xWindowOf(*window), 5, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      ASSERT_EQ(shot[static_cast<size_t>(y * 5 + x)], test::colourRampShown(x, y, 3))
          << x << "," << y;
    }
  }
}

TEST_P(X11WindowTest, EightBitPixelsGoThroughTheBitmapsColourTable) {
  auto window = topLevel(16, 4);
  ASSERT_NE(window, nullptr);
  TestBitmap bitmap = grayRamp(16, 4);
  test::useBlueAndInvertedGreenPalette(bitmap);
  window->copyRowsTurnedOver(bitmap.view());
  ASSERT_TRUE(window->waitShown(kWaitMs));
  const auto shot = display_.screenshot(xWindowOf(*window), 16, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 16; ++x) {
      const uint32_t value = static_cast<uint8_t>(3 * x + 7 * y);
      ASSERT_EQ(shot[static_cast<size_t>(y * 16 + x)], (255 - value) << 8 | value) << x << "," << y;
    }
  }
}

TEST_P(X11WindowTest, ChildSitsInsideTheParentAtItsPlaceAndSize) {
  const Window parent = display_.createWindow(display_.root(), {0, 0, 200, 150});
  WindowRequest request;
  request.parent = windowHandleFromX11(parent);
  request.x = 30;
  request.y = 20;
  request.width = 64;
  request.height = 32;
  request.className = "VideoRenderer_child";
  auto window = createPreviewWindow(request);
  ASSERT_NE(window, nullptr);
  const auto named = display_.childrenNamed(parent, "ActiveMovie Window");
  ASSERT_EQ(named.size(), 1u);
  EXPECT_EQ(named[0], xWindowOf(*window));
  const auto place = display_.place(named[0]);
  EXPECT_EQ(place.x, 30);
  EXPECT_EQ(place.y, 20);
  EXPECT_EQ(place.width, 64);
  EXPECT_EQ(place.height, 32);

  const TestBitmap gray = grayRamp(64, 32);
  window->copyRowsTurnedOver(gray.view());
  ASSERT_TRUE(window->waitShown(kWaitMs));
  // Seen through the parent: the picture starts at the child's place.
  const auto shot = display_.screenshot(parent, 200, 150);
  EXPECT_EQ(shot[static_cast<size_t>(20 * 200 + 30)], grayPixel(0));
  EXPECT_EQ(shot[static_cast<size_t>(21 * 200 + 32)], grayPixel(3 * 2 + 7));
  EXPECT_EQ(shot[static_cast<size_t>(19 * 200 + 30)], 0x404040u);  // the parent's own background
  window.reset();
  EXPECT_TRUE(display_.childrenNamed(parent, "ActiveMovie Window").empty());
  display_.destroyWindow(parent);
}

TEST_P(X11WindowTest, ExposedWindowShowsTheLastFrameAgain) {
  auto window = topLevel(40, 30);
  ASSERT_NE(window, nullptr);
  const Window xid = xWindowOf(*window);
  const TestBitmap gray = grayRamp(40, 30);
  window->copyRowsTurnedOver(gray.view());
  ASSERT_TRUE(window->waitShown(kWaitMs));
  const auto before = display_.screenshot(xid, 40, 30);
  const auto place = display_.place(xid);
  // Another window over it, then gone: the server has no copy of what was under it.
  const Window cover = display_.createWindow(display_.root(), place);
  display_.destroyWindow(cover);
  EXPECT_TRUE(test::eventually([&] { return display_.screenshot(xid, 40, 30) == before; }));
}

TEST_P(X11WindowTest, ResizeIsSeenAndTheCloseButtonStopsDrawing) {
  auto window = topLevel(40, 30);
  ASSERT_NE(window, nullptr);
  const Window xid = xWindowOf(*window);
  XResizeWindow(display_.get(), xid, 80, 50);
  XSync(display_.get(), False);
  EXPECT_TRUE(test::eventually([&] {
    int32_t width = 0;
    int32_t height = 0;
    window->clientSize(width, height);
    return width == 80 && height == 50;
  }));

  // What a window manager sends when the user closes the window.
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = xid;
  event.xclient.message_type = XInternAtom(display_.get(), "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] =
      static_cast<long>(XInternAtom(display_.get(), "WM_DELETE_WINDOW", False));
  XSendEvent(display_.get(), xid, False, NoEventMask, &event);
  XSync(display_.get(), False);
  EXPECT_TRUE(test::eventually([&] { return !window->visible(); }));
  EXPECT_EQ(display_.place(xid).width, 0);  // gone from the server
  int32_t width = 1;
  int32_t height = 1;
  window->clientSize(width, height);
  EXPECT_EQ(width, 0);
  const TestBitmap gray = grayRamp(40, 30);
  window->copyRowsTurnedOver(gray.view());
  EXPECT_FALSE(window->waitShown(100));
}

INSTANTIATE_TEST_SUITE_P(Transfers, X11WindowTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "SharedMemory" : "PutImage"; });

TEST(X11WindowRefusalTest, MessageSinksUnknownWindowsAndAMissingDisplayMakeNoWindow) {
  WindowRequest request;
  request.x = 0;
  request.width = 10;
  request.height = 10;
  request.className = "VideoRenderer_refused";
  HWND sink = createMessageSink();
  request.parent = sink;
  EXPECT_EQ(createPreviewWindow(request), nullptr);
  destroyMessageSink(sink);
  request.parent = windowHandleFromX11(0x1FFFFFF0);  // no such window on the server
  EXPECT_EQ(createPreviewWindow(request), nullptr);
  EXPECT_EQ(windowHandleFromX11(0), nullptr);
  EXPECT_EQ(x11WindowFromHandle(nullptr), 0u);

  const char* saved = std::getenv("DISPLAY");
  const std::string display = saved != nullptr ? saved : "";
  unsetenv("DISPLAY");
  request.parent = nullptr;
  request.clientWidth = 10;
  request.clientHeight = 10;
  EXPECT_EQ(createPreviewWindow(request), nullptr);
  if (saved != nullptr) {
    setenv("DISPLAY", display.c_str(), 1);
  }
}

}  // namespace
}  // namespace nivexa::platform

// The preview window as Windows applications see it: its class, caption, styles and place
// through user32, and the pixels it shows read back from its DC, drawn both from the DIB section
// of a bitmap and from plain memory, on the window's own thread and on another one.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/BitmapSurface.h"
#include "platform/Window.h"
#include "platform/WindowTestBitmap.h"
#include "platform/win32/Win32TestSupport.h"

namespace nivexa::platform {
namespace {

using test::AppWindow;
using test::clientSizeOf;
using test::eventually;
using test::grayPixel;
using test::grayRamp;
using test::placeInParent;
using test::pumpMessages;
using test::readPixels;
using test::TestBitmap;

[[maybe_unused]] const bool kOnDisplay = (test::useDisplayDesktop(), true);

void putLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

// A test bitmap's pixels in a DIB section selected into a memory DC, as the camera object keeps
// its bitmaps; the DIB section carries the bitmap's colour table.
class SectionBitmap {
 public:
  explicit SectionBitmap(const TestBitmap& bitmap) : bitmap_(bitmap) {
    std::vector<uint8_t> info;
    putLittleEndian(info, 40, 4);
    putLittleEndian(info, static_cast<uint32_t>(bitmap.width), 4);
    putLittleEndian(info, static_cast<uint32_t>(bitmap.height), 4);  // bottom-up
    putLittleEndian(info, 1, 2);
    putLittleEndian(info, bitmap.bits, 2);
    putLittleEndian(info, 0, 4);  // BI_RGB
    putLittleEndian(info, static_cast<uint32_t>(bitmap.stride * bitmap.height), 4);
    putLittleEndian(info, 0, 8);
    putLittleEndian(info, bitmap.bits == 8 ? 256 : 0, 4);
    putLittleEndian(info, 0, 4);
    if (bitmap.bits == 8) {
      info.insert(info.end(), bitmap.palette.begin(), bitmap.palette.end());
    }
    surface_ = createBitmapSurface(info, bitmap.pixels.size());
    if (surface_) {
      std::memcpy(surface_->bits(), bitmap.pixels.data(), bitmap.pixels.size());
    }
  }
  explicit operator bool() const { return surface_ != nullptr; }
  DibPixels view() const {
    DibPixels pixels = bitmap_.view();
    pixels.bits = surface_->bits();
    pixels.deviceContext = surface_->deviceContext();
    return pixels;
  }

 private:
  const TestBitmap& bitmap_;
  std::unique_ptr<BitmapSurface> surface_;
};

std::unique_ptr<PreviewWindow> topLevel(int32_t width, int32_t height,
                                        const std::string& className = "VideoRenderer_test") {
  WindowRequest request;
  request.x = 1;
  request.clientWidth = width;
  request.clientHeight = height;
  request.className = className;
  return createPreviewWindow(request);
}

bool classRegistered(const std::string& name) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  return GetClassInfoExA(GetModuleHandleA(nullptr), name.c_str(), &windowClass) != 0;
}

// Memory row 0 at the top of the client area, 0xRRGGBB top row first, through the palette.
std::vector<uint32_t> shownTurnedOver(const TestBitmap& bitmap) {
  std::vector<uint32_t> pixels;
  for (int32_t y = 0; y < bitmap.height; ++y) {
    for (int32_t x = 0; x < bitmap.width; ++x) {
      const uint8_t* entry =
          &bitmap.palette[4 * size_t{bitmap.pixels[static_cast<size_t>(y * bitmap.stride + x)]}];
      pixels.push_back(uint32_t{entry[2]} << 16 | uint32_t{entry[1]} << 8 | entry[0]);
    }
  }
  return pixels;
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(test::displayProblem(), ""); }
};

// Drawn from the DIB section's memory DC, as the camera object's bitmaps are, or from plain
// memory, as a bitmap for which the system had no DIB section.
class Win32DrawingTest : public Win32WindowTest, public ::testing::WithParamInterface<bool> {
 protected:
  // Draws `bitmap` turned over, or as it shows itself, through the path of the parameter; false
  // when it could not.
  bool draw(PreviewWindow& window, const TestBitmap& bitmap, bool turnedOver) {
    if (GetParam()) {
      SectionBitmap section(bitmap);
      if (!section) {
        return false;
      }
      turnedOver ? window.copyRowsTurnedOver(section.view()) : window.copy(section.view());
    } else {
      turnedOver ? window.copyRowsTurnedOver(bitmap.view()) : window.copy(bitmap.view());
    }
    return window.waitShown(5000);
  }
};

TEST_F(Win32WindowTest, TopLevelWindowIsNamedStyledCentredAndAsLargeAsItsClientArea) {
  // Wider than the narrowest window with a caption that the system allows.
  auto window = topLevel(240, 48, "VideoRenderer_0000abcd_00001234");
  ASSERT_NE(window, nullptr);
  HWND hwnd = window->handle();
  ASSERT_TRUE(IsWindow(hwnd));
  EXPECT_EQ(test::className(hwnd), "VideoRenderer_0000abcd_00001234");
  EXPECT_EQ(test::caption(hwnd), "Active Window");
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)), 0x16CF0000u);
  // The system adds the raised edge of every captioned window itself.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE)) & ~DWORD{WS_EX_WINDOWEDGE}, 0u);
  EXPECT_EQ(GetParent(hwnd), nullptr);
  EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), GetCurrentThreadId())
      << "the window belongs to the thread that asked for it";

  const SIZE client = clientSizeOf(hwnd);
  EXPECT_EQ(client.cx, 240);
  EXPECT_EQ(client.cy, 48);
  int32_t width = 0;
  int32_t height = 0;
  window->clientSize(width, height);
  EXPECT_EQ(width, 240);
  EXPECT_EQ(height, 48);
  EXPECT_TRUE(window->visible());
  EXPECT_TRUE(window->hasDeviceContext());

  const RECT place = placeInParent(hwnd);
  EXPECT_EQ(place.left, (GetSystemMetrics(SM_CXSCREEN) - (place.right - place.left)) / 2);
  EXPECT_EQ(place.top, (GetSystemMetrics(SM_CYSCREEN) - (place.bottom - place.top)) / 2);

  window.reset();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(classRegistered("VideoRenderer_0000abcd_00001234"));
}

TEST_F(Win32WindowTest, AWindowLargerThanTheScreenStartsAtItsTopLeftCorner) {
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  auto window = topLevel(screenWidth + 200, screenHeight + 100);
  ASSERT_NE(window, nullptr);
  const RECT place = placeInParent(window->handle());
  EXPECT_EQ(place.left, 0);
  EXPECT_EQ(place.top, 0);
}

TEST_P(Win32DrawingTest, RowsTurnedOverPutMemoryRowZeroAtTheTopAndPlainCopiesTheBottom) {
  auto window = topLevel(37, 21);
  ASSERT_NE(window, nullptr);
  const TestBitmap gray = grayRamp(37, 21);
  ASSERT_TRUE(draw(*window, gray, true));
  EXPECT_EQ(readPixels(window->handle(), 0, 0, 37, 21), shownTurnedOver(gray));

  // 24 bits, drawn as a bitmap shows itself: its last memory row at the top.
  const TestBitmap colour = test::colourRamp(5, 3);
  ASSERT_TRUE(draw(*window, colour, false));
  const auto shot = readPixels(window->handle(), 0, 0, 5, 3);
  ASSERT_EQ(shot.size(), 15u);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      ASSERT_EQ(shot[static_cast<size_t>(y * 5 + x)], test::colourRampShown(x, y, 3))
          << x << "," << y;
    }
  }
}

TEST_P(Win32DrawingTest, EightBitPixelsGoThroughTheBitmapsColourTable) {
  auto window = topLevel(16, 4);
  ASSERT_NE(window, nullptr);
  TestBitmap bitmap = grayRamp(16, 4);
  test::useBlueAndInvertedGreenPalette(bitmap);
  ASSERT_TRUE(draw(*window, bitmap, true));
  const auto shot = readPixels(window->handle(), 0, 0, 16, 4);
  ASSERT_EQ(shot.size(), 64u);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 16; ++x) {
      const uint32_t value = static_cast<uint8_t>(3 * x + 7 * y);
      ASSERT_EQ(shot[static_cast<size_t>(y * 16 + x)], (255 - value) << 8 | value) << x << "," << y;
    }
  }
}

TEST_P(Win32DrawingTest, ChildSitsInsideTheParentAtItsPlaceAndSize) {
  AppWindow parent(200, 150);
  ASSERT_NE(static_cast<HWND>(parent), nullptr);
  WindowRequest request;
  request.parent = parent;
  request.x = 30;
  request.y = 20;
  request.width = 64;
  request.height = 32;
  request.className = "VideoRenderer_child";
  auto window = createPreviewWindow(request);
  ASSERT_NE(window, nullptr);
  HWND child = FindWindowExA(parent, nullptr, "VideoRenderer_child", "ActiveMovie Window");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child, window->handle());
  EXPECT_EQ(GetParent(child), static_cast<HWND>(parent));
  EXPECT_EQ(GetDlgCtrlID(child), 6540);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)), 0x52000000u);
  const RECT place = placeInParent(child);
  EXPECT_EQ(place.left, 30);
  EXPECT_EQ(place.top, 20);
  EXPECT_EQ(place.right - place.left, 64);
  EXPECT_EQ(place.bottom - place.top, 32);
  int32_t width = 0;
  int32_t height = 0;
  window->clientSize(width, height);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 32);

  pumpMessages();  // the parent paints its background first
  const TestBitmap gray = grayRamp(64, 32);
  ASSERT_TRUE(draw(*window, gray, true));
  EXPECT_EQ(readPixels(child, 0, 0, 64, 32), shownTurnedOver(gray));
  // Seen through the parent: the picture starts at the child's place.
  const auto shot = readPixels(parent, 0, 0, 200, 150);
  ASSERT_EQ(shot.size(), 200u * 150u);
  EXPECT_EQ(shot[static_cast<size_t>(20 * 200 + 30)], grayPixel(0));
  EXPECT_EQ(shot[static_cast<size_t>(21 * 200 + 32)], grayPixel(3 * 2 + 7));
  EXPECT_EQ(shot[static_cast<size_t>(19 * 200 + 30)], test::kAppBackground);
  EXPECT_EQ(shot[static_cast<size_t>(20 * 200 + 29)], test::kAppBackground);

  window.reset();
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(FindWindowExA(parent, nullptr, nullptr, "ActiveMovie Window"), nullptr);
  EXPECT_FALSE(classRegistered("VideoRenderer_child"));
}

TEST_P(Win32DrawingTest, AnotherThreadDrawsWhileTheWindowsThreadPumpsItsMessages) {
  auto window = topLevel(37, 21);
  ASSERT_NE(window, nullptr);
  const TestBitmap gray = grayRamp(37, 21);
  std::atomic<int> drawn{0};  // 1 drawn, -1 failed
  std::atomic<bool> seen{false};
  std::thread acquisition([&] {
    // What the painter asks before it draws: the answers must not depend on the thread.
    int32_t width = 0;
    int32_t height = 0;
    window->clientSize(width, height);
    seen = window->visible() && window->hasDeviceContext() && width >= 37 && height == 21;
    drawn = draw(*window, gray, true) ? 1 : -1;
  });
  EXPECT_TRUE(eventually([&] { return drawn != 0; }));
  acquisition.join();
  EXPECT_TRUE(seen);
  ASSERT_EQ(drawn, 1);
  EXPECT_EQ(readPixels(window->handle(), 0, 0, 37, 21), shownTurnedOver(gray));
}

INSTANTIATE_TEST_SUITE_P(Sources, Win32DrawingTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "DibSection" : "Memory"; });

TEST_F(Win32WindowTest, ResizeIsSeenAndTheCloseButtonStopsDrawing) {
  auto window = topLevel(240, 30, "VideoRenderer_closed");
  ASSERT_NE(window, nullptr);
  HWND hwnd = window->handle();
  RECT bounds{0, 0, 320, 50};
  AdjustWindowRectEx(&bounds, static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE)));
  SetWindowPos(hwnd, nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top,
               SWP_NOMOVE | SWP_NOZORDER);
  int32_t width = 0;
  int32_t height = 0;
  window->clientSize(width, height);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 50);

  // What the close button sends; the window's thread handles it when it pumps.
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(eventually([&] { return !window->visible(); }));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(window->hasDeviceContext());
  width = height = 1;
  window->clientSize(width, height);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(height, 0);
  const TestBitmap gray = grayRamp(40, 30);
  window->copyRowsTurnedOver(gray.view());
  EXPECT_FALSE(window->waitShown(100));
  // A window made later may get the closed one's handle; ending the closed one leaves it alone.
  auto later = topLevel(200, 10, "VideoRenderer_later");
  ASSERT_NE(later, nullptr);
  window.reset();
  EXPECT_TRUE(IsWindow(later->handle()));
  EXPECT_TRUE(later->visible());
  EXPECT_FALSE(classRegistered("VideoRenderer_closed"));
}

TEST_F(Win32WindowTest, ClosingWhileAnotherThreadDrawsStopsTheDrawingSafely) {
  auto window = topLevel(64, 48);
  ASSERT_NE(window, nullptr);
  const TestBitmap gray = grayRamp(64, 48);
  SectionBitmap section(gray);
  ASSERT_TRUE(section);
  std::atomic<bool> stop{false};
  std::atomic<int> frames{0};
  std::thread acquisition([&] {
    while (!stop) {
      if (window->visible()) {
        window->copyRowsTurnedOver(section.view());
        window->copy(gray.view());
      }
      ++frames;
    }
  });
  EXPECT_TRUE(eventually([&] { return frames > 20; }));
  PostMessageA(window->handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(eventually([&] { return !window->visible(); }));
  const int atClose = frames;
  EXPECT_TRUE(eventually([&] { return frames > atClose + 20; })) << "drawing goes on, unseen";
  stop = true;
  acquisition.join();
}

// The system destroys a thread's windows when the thread ends: a preview started from a thread
// that has ended since must no longer be drawn into, and ending it later must be harmless.
TEST_F(Win32WindowTest, AWindowWhoseThreadHasEndedIsNoLongerDrawnInto) {
  std::unique_ptr<PreviewWindow> window;
  std::thread starter([&] { window = topLevel(240, 30, "VideoRenderer_orphan"); });
  starter.join();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(eventually([&] { return !IsWindow(window->handle()); }));
  EXPECT_FALSE(window->visible());
  EXPECT_FALSE(window->hasDeviceContext());
  int32_t width = 1;
  int32_t height = 1;
  window->clientSize(width, height);
  EXPECT_EQ(width, 0);
  const TestBitmap gray = grayRamp(240, 30);
  window->copyRowsTurnedOver(gray.view());
  EXPECT_FALSE(window->waitShown(100));
  window.reset();
  EXPECT_FALSE(classRegistered("VideoRenderer_orphan"));
}

TEST_F(Win32WindowTest, AParentThatIsNoWindowMakesNoWindowAndLeavesNoClass) {
  WindowRequest request;
  request.width = 10;
  request.height = 10;
  request.className = "VideoRenderer_refused";
  HWND gone = nullptr;
  {
    AppWindow parent(50, 50);
    gone = parent;
  }
  for (HWND parent : {gone, reinterpret_cast<HWND>(0x7FFF1234)}) {
    request.parent = parent;
    EXPECT_EQ(createPreviewWindow(request), nullptr);
    EXPECT_FALSE(classRegistered("VideoRenderer_refused"));
  }
  EXPECT_EQ(windowHandleFromX11(0x1234), nullptr);
  EXPECT_EQ(x11WindowFromHandle(GetDesktopWindow()), 0u);
}

}  // namespace
}  // namespace nivexa::platform

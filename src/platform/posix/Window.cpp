// The preview window on Linux: an X11 window with a connection of its own, served by one event
// thread per window. That thread is the only one that talks to the server: it creates the
// window, answers expose, resize and close events, and puts the frames on the screen. Drawing
// calls only convert pixels into a memory buffer and hand it over, so a slow or stuck server
// never holds up the acquisition thread.
#include "platform/Window.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/posix/X11Library.h"
#include "platform/posix/X11Support.h"

namespace nivexa::platform {

namespace {

// Window handles that stand for X11 windows carry this bit above the 29 bits of an X resource
// id, so they never meet the message sinks' handles or a null window.
constexpr uintptr_t kX11HandleTag = uintptr_t{1} << 44;
constexpr unsigned long kXidMask = 0x1FFFFFFF;

// One frame in the window's pixel format, top row first.
struct FrameBuffer {
  std::vector<uint32_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
};

// The window's image on the server side: shared memory when the server offers it.
class ServerImage {
 public:
  ServerImage(const x11::Library& x, Display* display, const XVisualInfo& visual, bool tryShm)
      : x_(x), display_(display), visual_(visual), tryShm_(tryShm) {}
  ~ServerImage() { release(); }
  ServerImage(const ServerImage&) = delete;
  ServerImage& operator=(const ServerImage&) = delete;

  bool usesShm() const { return shm_; }

  void put(Drawable window, GC gc, FrameBuffer& frame) {
    if (frame.width <= 0 || frame.height <= 0) {
      return;
    }
    if (tryShm_ && (image_ == nullptr || !shm_ || image_->width != frame.width ||
                    image_->height != frame.height)) {
      release();
      tryShm_ = createShm(frame.width, frame.height);
    }
    if (shm_) {
      const size_t rowBytes = static_cast<size_t>(frame.width) * 4;
      for (int32_t y = 0; y < frame.height; ++y) {
        std::memcpy(image_->data + static_cast<ptrdiff_t>(y) * image_->bytes_per_line,
                    frame.pixels.data() + static_cast<size_t>(y) * frame.width, rowBytes);
      }
      x_.XShmPutImage(display_, window, gc, image_, 0, 0, 0, 0, static_cast<unsigned>(frame.width),
                      static_cast<unsigned>(frame.height), False);
      // The segment is rewritten by the next frame: the server must be done reading it.
      x_.XSync(display_, False);
      return;
    }
    XImage* image = x_.XCreateImage(display_, visual_.visual, static_cast<unsigned>(visual_.depth),
                                    ZPixmap, 0, reinterpret_cast<char*>(frame.pixels.data()),
                                    static_cast<unsigned>(frame.width),
                                    static_cast<unsigned>(frame.height), 32, frame.width * 4);
    if (image == nullptr) {
      return;
    }
    if (image->bits_per_pixel == 32) {
      x_.XPutImage(display_, window, gc, image, 0, 0, 0, 0, static_cast<unsigned>(frame.width),
                   static_cast<unsigned>(frame.height));
      // Shown means the server has it, as with the shared-memory path.
      x_.XSync(display_, False);
    }
    image->data = nullptr;  // the pixels belong to the frame buffer
    XDestroyImage(image);
  }

 private:
  bool createShm(int32_t width, int32_t height) {
    image_ = x_.XShmCreateImage(display_, visual_.visual, static_cast<unsigned>(visual_.depth),
                                ZPixmap, nullptr, &info_, static_cast<unsigned>(width),
                                static_cast<unsigned>(height));
    if (image_ == nullptr) {
      return false;
    }
    // Pixels are written as native 32-bit words.
    const bool native =
        image_->bits_per_pixel == 32 &&
        image_->byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
    info_.shmid = native ? shmget(IPC_PRIVATE,
                                  static_cast<size_t>(image_->bytes_per_line) *
                                      static_cast<size_t>(image_->height),
                                  IPC_CREAT | 0600)
                         : -1;
    if (info_.shmid < 0) {
      XDestroyImage(image_);
      image_ = nullptr;
      return false;
    }
    info_.shmaddr = image_->data = static_cast<char*>(shmat(info_.shmid, nullptr, 0));
    info_.readOnly = False;
    const bool mapped = info_.shmaddr != reinterpret_cast<char*>(-1);
    const bool attached =
        mapped && x_.XShmAttach(display_, &info_) && x11::takeError(display_) == 0;
    // Marked for removal at once: the segment goes away with the last attachment, also when
    // the process dies.
    shmctl(info_.shmid, IPC_RMID, nullptr);
    if (!attached) {
      if (mapped) {
        shmdt(info_.shmaddr);
      }
      image_->data = nullptr;
      XDestroyImage(image_);
      image_ = nullptr;
      return false;
    }
    shm_ = true;
    return true;
  }

  void release() {
    if (image_ == nullptr) {
      return;
    }
    if (shm_) {
      x_.XShmDetach(display_, &info_);
      x_.XSync(display_, False);
      shmdt(info_.shmaddr);
      image_->data = nullptr;
    }
    XDestroyImage(image_);
    image_ = nullptr;
    shm_ = false;
  }

  const x11::Library& x_;
  Display* display_;
  XVisualInfo visual_;
  bool tryShm_;
  bool shm_ = false;
  XImage* image_ = nullptr;
  XShmSegmentInfo info_{};
};

bool shmWanted() {
  const char* setting = std::getenv("NIVEXA_X11_SHM");
  return setting == nullptr || std::strcmp(setting, "0") != 0;
}

class X11Window final : public PreviewWindow {
 public:
  X11Window(const x11::Library& x, int wakeFd) : x_(x), wakeFd_(wakeFd) {}

  ~X11Window() override {
    stop_ = true;
    wake();
    if (thread_.joinable()) {
      thread_.join();
    }
    close(wakeFd_);
  }
  X11Window(const X11Window&) = delete;
  X11Window& operator=(const X11Window&) = delete;

  // Starts the event thread and waits for it to make the window.
  bool open(const WindowRequest& request) {
    std::promise<bool> made;
    auto result = made.get_future();
    thread_ =
        std::thread([this, request, made = std::move(made)]() mutable { run(request, made); });
    return result.get();
  }

  HWND handle() const override { return windowHandleFromX11(window_); }
  bool visible() override { return mapped_ && !closed_; }
  void clientSize(int32_t& width, int32_t& height) override {
    width = closed_ ? 0 : clientWidth_.load();
    height = closed_ ? 0 : clientHeight_.load();
  }
  bool hasDeviceContext() override { return !closed_; }

  void copyRowsTurnedOver(const DibPixels& source) override { draw(source, false); }
  void copy(const DibPixels& source) override { draw(source, true); }

  bool waitShown(int32_t timeoutMs) override {
    std::unique_lock lock(mutex_);
    const uint64_t wanted = drawn_;
    return shownChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      return shown_ >= wanted || closed_;
    }) && !closed_;
  }

 private:
  void wake() {
    const uint64_t one = 1;
    (void)!write(wakeFd_, &one, sizeof one);
  }

  // Window row i shows memory row i (rows turned over) or memory row height - 1 - i.
  void draw(const DibPixels& source, bool asBitmapShows) {
    if (closed_ || source.bits == nullptr || source.width <= 0 || source.height <= 0 ||
        (source.bitsPerPixel != 8 && source.bitsPerPixel != 24)) {
      return;
    }
    size_t index = 0;
    {
      std::lock_guard lock(mutex_);
      index = free_;
    }
    FrameBuffer& frame = buffers_[index];
    frame.width = source.width;
    frame.height = source.height;
    frame.pixels.resize(static_cast<size_t>(source.width) * static_cast<size_t>(source.height));
    if (source.bitsPerPixel == 8) {
      uint32_t lookup[256];
      x11::paletteLookup(source.palette, layout_, lookup);
      const bool ramp = x11::isGrayRamp(lookup);
      for (int32_t y = 0; y < source.height; ++y) {
        const int32_t row = asBitmapShows ? source.height - 1 - y : y;
        const uint8_t* from = source.bits + static_cast<ptrdiff_t>(row) * source.stride;
        uint32_t* to = frame.pixels.data() + static_cast<size_t>(y) * source.width;
        if (ramp) {
          x11::convertGrayRampRow(from, to, source.width);
        } else {
          x11::convertGrayRow(from, to, source.width, lookup);
        }
      }
    } else {
      for (int32_t y = 0; y < source.height; ++y) {
        const int32_t row = asBitmapShows ? source.height - 1 - y : y;
        x11::convertBgrRow(source.bits + static_cast<ptrdiff_t>(row) * source.stride,
                           frame.pixels.data() + static_cast<size_t>(y) * source.width,
                           source.width, layout_);
      }
    }
    {
      std::lock_guard lock(mutex_);
      // A frame still waiting is dropped in favour of this newer one.
      std::swap(free_, pending_);
      pendingReady_ = true;
      ++drawn_;
    }
    wake();
  }

  void run(const WindowRequest& request, std::promise<bool>& made) {
    const bool created = create(request);
    made.set_value(created);
    if (!created) {
      teardown();
      return;
    }
    serve();
    teardown();
  }

  void serve() {
    ServerImage image(x_, display_, visual_, shmWanted());
    const int xfd = ConnectionNumber(display_);
    while (!stop_) {
      bool redraw = false;
      while (x_.XPending(display_) > 0) {
        XEvent event;
        x_.XNextEvent(display_, &event);
        redraw = handle(event) || redraw;
      }
      uint64_t presented = 0;
      {
        std::lock_guard lock(mutex_);
        if (pendingReady_) {
          std::swap(shown_index_, pending_);
          pendingReady_ = false;
          presented = drawn_;
          redraw = true;
        }
      }
      if (redraw && !closed_) {
        image.put(window_, gc_, buffers_[shown_index_]);
      }
      if (presented != 0 || closed_) {
        std::lock_guard lock(mutex_);
        if (presented != 0) {
          shown_ = presented;
        }
        shownChanged_.notify_all();
      }
      std::array<pollfd, 2> fds{{{xfd, POLLIN, 0}, {wakeFd_, POLLIN, 0}}};
      if (x_.XPending(display_) == 0) {
        poll(fds.data(), fds.size(), -1);
      }
      if (fds[1].revents & POLLIN) {
        uint64_t count = 0;
        (void)!read(wakeFd_, &count, sizeof count);
      }
    }
  }

  // True when the event asks for the last frame again.
  bool handle(const XEvent& event) {
    switch (event.type) {
      case Expose:
        return event.xexpose.count == 0;
      case ConfigureNotify:
        if (event.xconfigure.window == window_) {
          clientWidth_ = event.xconfigure.width;
          clientHeight_ = event.xconfigure.height;
        }
        return false;
      case MapNotify:
        mapped_ = true;
        return true;
      case UnmapNotify:
        mapped_ = false;
        return false;
      case DestroyNotify:
        if (event.xdestroywindow.window == window_) {
          markClosed();
        }
        return false;
      case ClientMessage:
        if (static_cast<Atom>(event.xclient.data.l[0]) == deleteAtom_) {
          // The user closed it: the picture stops, the stream goes on until the application
          // stops it.
          x_.XDestroyWindow(display_, window_);
          x_.XSync(display_, False);
          markClosed();
        }
        return false;
      default:
        return false;
    }
  }

  void markClosed() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    mapped_ = false;
    shownChanged_.notify_all();
  }

  bool create(const WindowRequest& request) {
    display_ = x_.XOpenDisplay(nullptr);
    if (display_ == nullptr) {
      return false;
    }
    x11::registerConnection(display_);
    const int screen = DefaultScreen(display_);
    const Window root = RootWindow(display_, screen);
    Window parent = root;
    if (request.parent != nullptr) {
      parent = x11WindowFromHandle(request.parent);
      XWindowAttributes attributes;
      if (parent == 0 || !x_.XGetWindowAttributes(display_, parent, &attributes) ||
          x11::takeError(display_) != 0) {
        return false;
      }
    }
    if (!x_.XMatchVisualInfo(display_, screen, 24, TrueColor, &visual_) ||
        !x11::pixelLayoutOf(visual_, layout_)) {
      return false;
    }
    int x = request.x;
    int y = request.y;
    int width = request.width;
    int height = request.height;
    if (request.parent == nullptr) {
      width = request.clientWidth;
      height = request.clientHeight;
      // Decorations belong to the window manager, outside the client area.
      x = std::max(0, (DisplayWidth(display_, screen) - width) / 2);
      y = std::max(0, (DisplayHeight(display_, screen) - height) / 2);
    }
    // The server refuses empty windows; an empty placement shows nothing anyway.
    const bool empty = width <= 0 || height <= 0;
    colormap_ = x_.XCreateColormap(display_, root, visual_.visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.colormap = colormap_;
    attributes.event_mask = ExposureMask | StructureNotifyMask;
    window_ = x_.XCreateWindow(display_, parent, x, y, static_cast<unsigned>(empty ? 1 : width),
                               static_cast<unsigned>(empty ? 1 : height), 0, visual_.depth,
                               InputOutput, visual_.visual,
                               CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &attributes);
    if (x11::takeError(display_) != 0) {
      window_ = 0;
      return false;
    }
    clientWidth_ = empty ? 0 : width;
    clientHeight_ = empty ? 0 : height;
    x_.XStoreName(display_, window_,
                  request.parent != nullptr ? kChildWindowName : kTopLevelWindowName);
    std::string className = request.className;
    XClassHint classHint{className.data(), className.data()};
    x_.XSetClassHint(display_, window_, &classHint);
    if (request.parent == nullptr) {
      deleteAtom_ = x_.XInternAtom(display_, "WM_DELETE_WINDOW", False);
      x_.XSetWMProtocols(display_, window_, &deleteAtom_, 1);
      XSizeHints hints{};
      hints.flags = PPosition | PSize | USPosition;
      hints.x = x;
      hints.y = y;
      hints.width = width;
      hints.height = height;
      x_.XSetWMNormalHints(display_, window_, &hints);
    }
    gc_ = x_.XCreateGC(display_, window_, 0, nullptr);
    x_.XMapWindow(display_, window_);
    if (x11::takeError(display_) != 0) {
      return false;
    }
    mapped_ = true;
    return true;
  }

  void teardown() {
    if (display_ == nullptr) {
      return;
    }
    if (gc_ != nullptr) {
      x_.XFreeGC(display_, gc_);
    }
    if (window_ != 0 && !closed_) {
      x_.XDestroyWindow(display_, window_);
    }
    if (colormap_ != 0) {
      x_.XFreeColormap(display_, colormap_);
    }
    x_.XSync(display_, False);
    x11::unregisterConnection(display_);
    x_.XCloseDisplay(display_);
    display_ = nullptr;
    markClosed();
  }

  const x11::Library& x_;
  const int wakeFd_;
  std::thread thread_;
  std::atomic<bool> stop_{false};

  // Event thread only, after creation.
  Display* display_ = nullptr;
  Window window_ = 0;
  Colormap colormap_ = 0;
  GC gc_ = nullptr;
  Atom deleteAtom_ = 0;
  XVisualInfo visual_{};
  x11::PixelLayout layout_;

  std::atomic<int32_t> clientWidth_{0};
  std::atomic<int32_t> clientHeight_{0};
  std::atomic<bool> mapped_{false};
  std::atomic<bool> closed_{false};

  // Three frame buffers: the one drawing fills, the one waiting, the one on the screen. The
  // drawing side owns `free_`'s buffer, the event thread `shown_index_`'s; the mutex guards the
  // indices, never the pixel work.
  std::array<FrameBuffer, 3> buffers_;
  std::mutex mutex_;
  std::condition_variable shownChanged_;
  size_t free_ = 0;
  size_t pending_ = 1;
  size_t shown_index_ = 2;
  bool pendingReady_ = false;
  uint64_t drawn_ = 0;
  uint64_t shown_ = 0;
};

}  // namespace

HWND windowHandleFromX11(unsigned long xid) {
  if (xid == 0 || (xid & ~kXidMask) != 0) {
    return nullptr;
  }
  return reinterpret_cast<HWND>(kX11HandleTag | xid);
}

unsigned long x11WindowFromHandle(HWND window) {
  const auto value = reinterpret_cast<uintptr_t>(window);
  if ((value & ~uintptr_t{kXidMask}) != kX11HandleTag) {
    return 0;
  }
  return static_cast<unsigned long>(value & kXidMask);
}

std::unique_ptr<PreviewWindow> createPreviewWindow(const WindowRequest& request) {
  // Without the X libraries there is no display to show on, and the caller hears just that.
  const x11::Library* x = x11::library();
  if (x == nullptr) {
    return nullptr;
  }
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    return nullptr;
  }
  auto window = std::make_unique<X11Window>(*x, wakeFd);
  if (!window->open(request)) {
    return nullptr;
  }
  return window;
}

}  // namespace nivexa::platform

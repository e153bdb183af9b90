// `nivexa view` on Linux: a top-level X11 window of the tool's own, with the library's preview
// window as its child filling it. The tool keeps the title (with the frame rate the library
// reports), the keyboard and the close button; the library draws.
#include "View.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "NivexaMessages.h"
#include "NivexaWindows.h"

namespace {

constexpr int kWindowWidth = 1024;
constexpr int kWindowHeight = 768;

void setTitle(Display* display, Window window, const std::string& title) {
  XStoreName(display, window, title.c_str());
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                  XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title.data()),
                  static_cast<int>(title.size()));
  XFlush(display);
}

// The library's window inside ours follows our size.
void fitChild(Display* display, Window window, int width, int height) {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count; ++i) {
      XResizeWindow(display, children[i], static_cast<unsigned>(width),
                    static_cast<unsigned>(height));
    }
    XFree(children);
  }
}

}  // namespace

int runView(LONG h, double seconds) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "nivexa: view needs an X display (DISPLAY is not set or unreachable)\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0,
                                            kWindowWidth, kWindowHeight, 0, 0, 0);
  XSelectInput(display, window, KeyPressMask | StructureNotifyMask);
  Atom deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window, &deleteAtom, 1);
  XClassHint classHint{const_cast<char*>("nivexa"), const_cast<char*>("Nivexa")};
  XSetClassHint(display, window, &classHint);
  setTitle(display, window, "nivexa view");
  XMapWindow(display, window);
  XSync(display, False);

  HWND sink = NivexaMsg_CreateSink();
  int status = 0;
  if (!Nivexa_SetPreviewWindow(h, NivexaWin_FromXWindow(window), 0, 0, kWindowWidth,
                               kWindowHeight) ||
      !Nivexa_CallBackPreview(h, sink, nullptr, 0, 1)) {
    std::fprintf(stderr, "nivexa: preview did not start (error %d)\n",
                 static_cast<int>(Nivexa_GetLastError(h)));
    status = 1;
  }
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto lastTitle = start;
  LONG rate = 0;
  long frames = 0;
  bool running = status == 0;
  while (running) {
    pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {NivexaMsg_Fd(sink), POLLIN, 0}};
    if (XPending(display) == 0) {
      poll(fds, 2, 100);
    }
    while (running && XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == KeyPress) {
        const KeySym key = XLookupKeysym(&event.xkey, 0);
        running = key != XK_q && key != XK_Q && key != XK_Escape;
      } else if (event.type == ClientMessage &&
                 static_cast<Atom>(event.xclient.data.l[0]) == deleteAtom) {
        running = false;
      } else if (event.type == ConfigureNotify) {
        fitChild(display, window, event.xconfigure.width, event.xconfigure.height);
      }
    }
    NivexaMsg message{};
    while (NivexaMsg_Get(sink, &message, 0)) {
      if (message.message != NIVEXA_WM_FRAME) {
        continue;
      }
      if (message.wParam != 0) {
        rate = reinterpret_cast<const NivexaFrameInfo*>(message.wParam)->frameRate;
        ++frames;
      } else if (message.lParam == NIVEXA_ERR_STREAM_LOST) {
        std::fprintf(stderr, "nivexa: the camera stopped delivering frames\n");
        running = false;
        status = 1;
      }
    }
    const auto now = Clock::now();
    if (now - lastTitle >= std::chrono::seconds(1)) {
      char title[96];
      std::snprintf(title, sizeof title, "nivexa view - %.1f fps", rate / 10.0);
      setTitle(display, window, title);
      lastTitle = now;
    }
    if (seconds > 0 && now - start >= std::chrono::duration<double>(seconds)) {
      running = false;
    }
  }
  Nivexa_Close(h);
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  if (status == 0) {
    std::printf("view: %ld frames in %.1f s, %.1f fps reported by the library\n", frames, elapsed,
                rate / 10.0);
  }
  NivexaMsg_DestroySink(sink);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  return status;
}

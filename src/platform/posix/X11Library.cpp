#include "platform/posix/X11Library.h"

#include <memory>
#include <string>

#include "platform/DynamicLibrary.h"

namespace nivexa::platform::x11 {

namespace {

// The sonames, not the development links: those exist only where the -dev packages are.
constexpr const char* kXlibName = "libX11.so.6";
constexpr const char* kXextName = "libXext.so.6";

template <typename Function>
bool bind(const DynamicLibrary& from, const char* name, Function& to) {
  to = reinterpret_cast<Function>(from.symbol(name));
  return to != nullptr;
}

struct Loaded {
  std::unique_ptr<DynamicLibrary> xlib;
  std::unique_ptr<DynamicLibrary> xext;
  Library entries{};
};

std::unique_ptr<Loaded> load() {
  auto loaded = std::make_unique<Loaded>();
  std::string error;
  loaded->xlib = DynamicLibrary::open(kXlibName, error);
  if (loaded->xlib == nullptr) {
    return nullptr;
  }
  loaded->xext = DynamicLibrary::open(kXextName, error);
  if (loaded->xext == nullptr) {
    return nullptr;
  }
  const DynamicLibrary& xlib = *loaded->xlib;
  const DynamicLibrary& xext = *loaded->xext;
  Library& x = loaded->entries;
#define NIVEXA_BIND(from, name) bind(from, #name, x.name)
  const bool complete = NIVEXA_BIND(xlib, XOpenDisplay) && NIVEXA_BIND(xlib, XCloseDisplay) &&
                        NIVEXA_BIND(xlib, XSync) && NIVEXA_BIND(xlib, XPending) &&
                        NIVEXA_BIND(xlib, XNextEvent) && NIVEXA_BIND(xlib, XSetErrorHandler) &&
                        NIVEXA_BIND(xlib, XGetWindowAttributes) &&
                        NIVEXA_BIND(xlib, XMatchVisualInfo) && NIVEXA_BIND(xlib, XCreateColormap) &&
                        NIVEXA_BIND(xlib, XFreeColormap) && NIVEXA_BIND(xlib, XCreateWindow) &&
                        NIVEXA_BIND(xlib, XDestroyWindow) && NIVEXA_BIND(xlib, XMapWindow) &&
                        NIVEXA_BIND(xlib, XStoreName) && NIVEXA_BIND(xlib, XSetClassHint) &&
                        NIVEXA_BIND(xlib, XInternAtom) && NIVEXA_BIND(xlib, XSetWMProtocols) &&
                        NIVEXA_BIND(xlib, XSetWMNormalHints) && NIVEXA_BIND(xlib, XCreateGC) &&
                        NIVEXA_BIND(xlib, XFreeGC) && NIVEXA_BIND(xlib, XCreateImage) &&
                        NIVEXA_BIND(xlib, XPutImage) && NIVEXA_BIND(xext, XShmCreateImage) &&
                        NIVEXA_BIND(xext, XShmAttach) && NIVEXA_BIND(xext, XShmDetach) &&
                        NIVEXA_BIND(xext, XShmPutImage);
#undef NIVEXA_BIND
  return complete ? std::move(loaded) : nullptr;
}

}  // namespace

const Library* library() {
  // Never unloaded: a window thread may still be closing its connection while the process
  // exits.
  static const Loaded* loaded = load().release();
  return loaded != nullptr ? &loaded->entries : nullptr;
}

}  // namespace nivexa::platform::x11

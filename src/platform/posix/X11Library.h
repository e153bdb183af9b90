#pragma once

// Xlib and its shared-memory extension, loaded on the first preview window rather than linked:
// the library then runs on machines with no X libraries at all (servers, containers), where a
// preview window fails as it does without a display.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

namespace nivexa::platform::x11 {

// The entry points the preview window uses, named as the libraries export them.
struct Library {
  decltype(&::XOpenDisplay) XOpenDisplay;
  decltype(&::XCloseDisplay) XCloseDisplay;
  decltype(&::XSync) XSync;
  decltype(&::XPending) XPending;
  decltype(&::XNextEvent) XNextEvent;
  decltype(&::XSetErrorHandler) XSetErrorHandler;
  decltype(&::XGetWindowAttributes) XGetWindowAttributes;
  decltype(&::XMatchVisualInfo) XMatchVisualInfo;
  decltype(&::XCreateColormap) XCreateColormap;
  decltype(&::XFreeColormap) XFreeColormap;
  decltype(&::XCreateWindow) XCreateWindow;
  decltype(&::XDestroyWindow) XDestroyWindow;
  decltype(&::XMapWindow) XMapWindow;
  decltype(&::XStoreName) XStoreName;
  decltype(&::XSetClassHint) XSetClassHint;
  decltype(&::XInternAtom) XInternAtom;
  decltype(&::XSetWMProtocols) XSetWMProtocols;
  decltype(&::XSetWMNormalHints) XSetWMNormalHints;
  decltype(&::XCreateGC) XCreateGC;
  decltype(&::XFreeGC) XFreeGC;
  decltype(&::XCreateImage) XCreateImage;
  decltype(&::XPutImage) XPutImage;
  decltype(&::XShmCreateImage) XShmCreateImage;
  decltype(&::XShmAttach) XShmAttach;
  decltype(&::XShmDetach) XShmDetach;
  decltype(&::XShmPutImage) XShmPutImage;
};

// Both libraries with every entry point, loaded once and kept for the rest of the process
// (connections and their error handler may outlive any one window); nullptr when either
// library or any entry point is missing, every later call answering the same.
const Library* library();

}  // namespace nivexa::platform::x11

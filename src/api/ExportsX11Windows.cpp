#include "NivexaWindows.h"
#include "platform/Window.h"

extern "C" {

NIVEXA_API HWND NivexaWin_FromXWindow(unsigned long xid) {
  return nivexa::platform::windowHandleFromX11(xid);
}

NIVEXA_API unsigned long NivexaWin_ToXWindow(HWND window) {
  return nivexa::platform::x11WindowFromHandle(window);
}

}  // extern "C"

/** @file
 * Linux only: the application's X11 windows as window handles.
 *
 * The preview window of Nivexa_SetPreviewWindow can be a child of one of the application's
 * windows. On Linux, make the parent's HWND from its X11 window id, for example a Qt widget's
 * winId() or GTK's gdk_x11_window_get_xid(gtk_widget_get_window(widget)):
 *
 *   Nivexa_SetPreviewWindow(h, NivexaWin_FromXWindow(xid), x, y, width, height);
 *
 * The library opens its own connection to the X server named by DISPLAY and draws from a
 * thread of its own, so the application's main loop needs to do nothing for it. A message sink
 * (NivexaMessages.h) is not a window: as a parent it makes the preview fail with error 4.
 */
#ifndef NIVEXA_WINDOWS_H
#define NIVEXA_WINDOWS_H

#ifdef _WIN32
#error "NivexaWindows.h is for Linux: on Windows pass real window handles (HWND)"
#endif

#include "NivexaSdk.h"

#ifdef __cplusplus
extern "C" {
#endif

/** The handle standing for X11 window `xid`; NULL for 0 or a value that is no X resource id. */
NIVEXA_API NivexaWindow NivexaWin_FromXWindow(unsigned long xid);
/** The X11 window id a handle stands for; 0 for NULL, a message sink or any other handle. The
 * preview window's own handle is one of these too. */
NIVEXA_API unsigned long NivexaWin_ToXWindow(NivexaWindow window);

#ifdef __cplusplus
}
#endif

#endif /* NIVEXA_WINDOWS_H */

/* The Linux X11 window header compiles as plain C on its own. */
#include "NivexaWindows.h"

int nivexa_public_windows_header_check(void) {
  return NivexaWin_ToXWindow(NivexaWin_FromXWindow(1)) == 1;
}

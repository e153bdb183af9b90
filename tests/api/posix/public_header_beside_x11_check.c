/* A program with X11's own BOOL and BYTE includes the SDK's headers after them. */
#include <X11/Xlib.h>
#include <X11/Xmd.h>

#define NIVEXA_NO_WINDOWS_TYPES
#include "NivexaMessages.h"
#include "NivexaSdk.h"
#include "NivexaWindows.h"

int nivexa_public_header_beside_x11_check(void) {
  BOOL x11Flag = 1;
  NivexaWindow sink = NivexaMsg_CreateSink();
  NivexaBool started = Nivexa_CallBackPreview(0, sink, (NivexaByte*)0, 0, 1);
  return (int)x11Flag + (int)started + (int)sizeof(NivexaFrameInfo);
}

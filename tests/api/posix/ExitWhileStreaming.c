/* A program that ends with exit() while its camera streams, never releasing the handle, as
 * programs do when they fail or are stopped. The library's threads run on through the static
 * destruction that exit() starts: the process must still end cleanly (under AddressSanitizer, a
 * thread that touched destroyed static data fails it). */
#include <stdio.h>
#include <stdlib.h>

#include "NivexaMessages.h"
#include "NivexaSdk.h"

int main(void) {
  static BYTE frame[2048 * 1536];
  HWND sink = NivexaMsg_CreateSink();
  LONG h = Nivexa_Initialize(sink);
  if (h == 0 || Nivexa_SetWaitTime(h, 0) != 1 ||
      Nivexa_CallBackPreview(h, sink, frame, (LONG)sizeof frame, 1) != 1) {
    fprintf(stderr, "the preview did not start\n");
    return 2;
  }
  NivexaMsg message;
  int frames = 0;
  while (frames < 3 && NivexaMsg_Get(sink, &message, 10000)) {
    frames += message.message == NIVEXA_WM_FRAME && message.wParam != 0;
  }
  if (frames < 3) {
    fprintf(stderr, "no frames\n");
    return 3;
  }
  exit(0);
}

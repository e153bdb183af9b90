/*
 * A first Linux program with the Nivexa SDK: a message sink for the library's notices, a camera
 * handle, one snapshot, then a short preview into a buffer with its frames read from the sink.
 *
 *   cc first_program.c $(pkg-config --cflags --libs NivexaSdk) -o first
 *   NIVEXA_VIRTUAL_CAMERAS=1 ./first        (a virtual camera when none is attached)
 *
 * Exit code: 0 after a snapshot and three previewed frames, 3 when the handle was created but
 * the camera delivered no image, 1 when no handle could be created.
 */
#include <stdio.h>
#include <stdlib.h>

#include "NivexaMessages.h"
#include "NivexaSdk.h"

int main(void) {
  HWND sink = NivexaMsg_CreateSink();
  LONG h = Nivexa_Initialize(sink); /* opens the camera when exactly one is attached */
  if (h == 0) {
    fprintf(stderr, "Nivexa_Initialize failed\n");
    return 1;
  }
  printf("SDK %08lx, handle %ld\n", (unsigned long)Nivexa_GetDllVersion(), (long)h);

  /* The capture window is the full sensor unless changed; 16 bits per pixel at most here. */
  LONG width = Nivexa_Width(h);
  LONG height = Nivexa_Height(h);
  LONG size = width * height * 2;
  BYTE* image = (BYTE*)malloc((size_t)size);
  int result = 3;
  if (image != NULL && Nivexa_SnapShot(h, image, size, 1)) {
    printf("snapshot %ld x %ld, %ld bits per pixel\n", (long)width, (long)height,
           (long)Nivexa_GetColorMode(h));
    /* The library writes every frame into the buffer until Nivexa_StopPreview returns. */
    if (Nivexa_CallBackPreview(h, sink, image, size, 1)) {
      int frames = 0;
      NivexaMsg msg;
      while (frames < 3 && NivexaMsg_Get(sink, &msg, 5000)) {
        if (msg.message == NIVEXA_WM_FRAME && msg.lParam == 0) {
          const NivexaFrameInfo* info = (const NivexaFrameInfo*)msg.wParam;
          printf("frame %d: %ld x %ld\n", ++frames, (long)info->width, (long)info->height);
        } else if (msg.message == NIVEXA_WM_FRAME || msg.message == NIVEXA_WM_ERROR) {
          printf("notice: error %ld\n", (long)msg.lParam);
          break;
        }
      }
      Nivexa_StopPreview(h);
      if (frames == 3) {
        result = 0;
      }
    }
  }
  if (result != 0) {
    printf("no image: error %ld\n", (long)Nivexa_GetLastError(h));
  }
  Nivexa_Close(h);
  Nivexa_Release(h);
  NivexaMsg_DestroySink(sink);
  free(image);
  return result;
}

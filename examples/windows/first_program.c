/*
 * A first Windows program with the Nivexa SDK: a window for the library's notices, a camera
 * handle, one snapshot, and the notices that arrived.
 *
 *   x86_64-w64-mingw32-gcc -I include first_program.c NivexaSdk_M7QX_TEC.lib -o first.exe
 *   (with MSVC: cl /I include first_program.c NivexaSdk_M7QX_TEC.lib user32.lib)
 *
 * Exit code: 0 after a snapshot, 3 when the handle was created but no snapshot was taken,
 * 1 when no handle could be created.
 */
#include <stdio.h>
#include <stdlib.h>

#include "NivexaSdk.h"

int main(void) {
  /* A message-only window: it receives posted messages and never appears on screen. */
  HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
  LONG h = Nivexa_Initialize(window);
  if (h == 0) {
    fprintf(stderr, "Nivexa_Initialize failed\n");
    return 1;
  }
  printf("SDK %08lx, handle %ld\n", (unsigned long)Nivexa_GetDllVersion(), (long)h);

  LONG width = Nivexa_Width(h);
  LONG height = Nivexa_Height(h);
  if (width <= 0 || height <= 0) {
    width = 2048;
    height = 1536;
  }
  /* Room for the deepest colour mode (64 bits per pixel). */
  const LONG size = width * height * 8;
  BYTE* image = (BYTE*)malloc((size_t)size);
  int result = 3;
  if (image != NULL && Nivexa_SnapShot(h, image, size, 1)) {
    printf("snapshot %ld x %ld, first byte %u\n", (long)width, (long)height, image[0]);
    result = 0;
  } else {
    printf("no snapshot: error %ld\n", (long)Nivexa_GetLastError(h));
  }

  MSG message;
  while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
    if (message.message == NIVEXA_WM_ERROR) {
      printf("notice: error %ld\n", (long)message.lParam);
    }
  }
  free(image);
  Nivexa_Release(h);
  DestroyWindow(window);
  return result;
}

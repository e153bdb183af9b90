/* Runs where the X libraries cannot be loaded: a snapshot and a buffer stream must work as
   anywhere, and the preview window must fail with the window error, as without a display.
   Exit code 0 when all three hold; the first failure is printed. */
#include <stdio.h>
#include <stdlib.h>

#include "NivexaSdk.h"
#include "NivexaStream.h"

enum {
  kStreamFrames = 3,
  kWaitMs = 20000,
  kWindowError = 4,
  kSnapshotBytesPerPixel = 2,
  kWindowWidth = 640,
  kWindowHeight = 480
};

static int fail(const char* what, LONG h) {
  fprintf(stderr, "headless: %s failed, error %ld\n", what, (long)Nivexa_GetLastError(h));
  return 1;
}

static int run(LONG h) {
  const size_t snapshotBytes =
      (size_t)Nivexa_Width(h) * (size_t)Nivexa_Height(h) * kSnapshotBytesPerPixel;
  BYTE* snapshot = (BYTE*)malloc(snapshotBytes);
  const int shot = snapshot != NULL && Nivexa_SnapShot(h, snapshot, (LONG)snapshotBytes, 1);
  free(snapshot);
  if (!shot) {
    return fail("snapshot", h);
  }

  const uint32_t frameBytes = NivexaStream_FrameBytes(h, 0);
  void* memory = malloc(frameBytes);
  if (memory == NULL) {
    return fail("allocation", h);
  }
  NivexaBuffer buffer = {0};
  buffer.data = memory;
  buffer.capacity = frameBytes;
  int frames = 0;
  if (NivexaStream_Start(h, 0)) {
    while (frames < kStreamFrames && NivexaStream_Queue(h, &buffer)) {
      NivexaBuffer* back = NivexaStream_Wait(h, kWaitMs);
      if (back == NULL || back->status != NIVEXA_BUFFER_COMPLETE) {
        break;
      }
      ++frames;
    }
    NivexaStream_Stop(h);
  }
  free(memory);
  if (frames != kStreamFrames) {
    return fail("buffer stream", h);
  }

  /* A placement asks for a window of the library's own; without one no window is made. */
  if (!Nivexa_SetPreviewWindow(h, NULL, 0, 0, kWindowWidth, kWindowHeight)) {
    return fail("window placement", h);
  }
  if (Nivexa_Preview(h)) {
    Nivexa_StopPreview(h);
    fprintf(stderr, "headless: a preview window opened\n");
    return 1;
  }
  if (Nivexa_GetLastError(h) != kWindowError) {
    return fail("preview (expected the window error)", h);
  }
  printf("headless: snapshot, %d streamed frames, preview refused with error %d\n", frames,
         kWindowError);
  return 0;
}

int main(void) {
  LONG h = Nivexa_Initialize(NULL);
  if (h == 0) {
    fprintf(stderr, "headless: no camera\n");
    return 1;
  }
  const int result = run(h);
  Nivexa_Close(h);
  Nivexa_Release(h);
  return result;
}

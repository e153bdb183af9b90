// On Windows an application shows the preview in its own window through
// Nivexa_SetPreviewWindow; the tool has no window of its own there.
#include <cstdio>

#include "View.h"

int runView(LONG, int) {
  std::fprintf(stderr, "nivexa: view is available on Linux only\n");
  return 1;
}

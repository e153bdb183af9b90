/* The public header must compile as plain C, on its own, for C applications. */
#include "NivexaSdk.h"

int nivexa_public_header_check(void) {
  NivexaFrameInfo frame = {0};
  NivexaCameraInfo info = {0};
  return (int)(frame.width + info.size + NIVEXA_WM_FRAME);
}

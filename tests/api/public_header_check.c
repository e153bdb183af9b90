/* The public headers must compile as plain C, on their own, for C applications. */
#include "NivexaMessages.h"
#include "NivexaSdk.h"

int nivexa_public_header_check(void) {
  NivexaFrameInfo frame = {0};
  NivexaCameraInfo info = {0};
  NivexaMsg message = {0};
  return (int)(frame.width + info.size + (LONG)message.message + NIVEXA_WM_FRAME);
}

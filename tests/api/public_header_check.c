/* The public headers must compile as plain C, for C applications; the buffer-stream header
 * first, so it is seen to need nothing before it. */
#include "NivexaStream.h"
#include "NivexaSdk.h"

int nivexa_public_header_check(void) {
  NivexaFrameInfo frame = {0};
  NivexaCameraInfo info = {0};
  NivexaBuffer buffer = {0};
  NivexaStreamStatistics statistics = {0};
  return (int)(frame.width + info.size + NIVEXA_WM_FRAME + buffer.width +
               (int)statistics.framesLost + NIVEXA_STREAM_PROCESSED);
}

// The buffer-stream interface: application buffers lent to a camera handle.
#include "NivexaStream.h"
#include "api/ExportSupport.h"

using nivexa::api::withCamera;
using nivexa::camera::CNivexa;

extern "C" {

NIVEXA_STREAM_API uint32_t NivexaStream_FrameBytes(int32_t h, int32_t flags) {
  return withCamera(h, uint32_t{0}, [&](CNivexa& cam) { return cam.StreamFrameBytes(flags); });
}

NIVEXA_STREAM_API int NivexaStream_GetFrameRate(int32_t h, double* framesPerSecond) {
  return withCamera(h, 0, [&](CNivexa& cam) { return cam.StreamFrameRate(framesPerSecond); });
}

NIVEXA_STREAM_API int NivexaStream_Start(int32_t h, int32_t flags) {
  return withCamera(h, 0, [&](CNivexa& cam) { return cam.StartBufferStream(flags); });
}

NIVEXA_STREAM_API int NivexaStream_Queue(int32_t h, NivexaBuffer* buffer) {
  return withCamera(h, 0, [&](CNivexa& cam) { return cam.QueueBuffer(buffer); });
}

NIVEXA_STREAM_API NivexaBuffer* NivexaStream_Wait(int32_t h, int32_t timeoutMs) {
  return withCamera(h, static_cast<NivexaBuffer*>(nullptr),
                    [&](CNivexa& cam) { return cam.WaitBuffer(timeoutMs); });
}

NIVEXA_STREAM_API int NivexaStream_SetCallback(int32_t h, NivexaStreamCallback fn, void* context) {
  return withCamera(h, 0, [&](CNivexa& cam) {
    cam.SetStreamCallback(fn, context);
    return 1;
  });
}

NIVEXA_STREAM_API int NivexaStream_Stop(int32_t h) {
  return withCamera(h, 0, [](CNivexa& cam) { return cam.StopBufferStream(); });
}

NIVEXA_STREAM_API int NivexaStream_GetStatistics(int32_t h, NivexaStreamStatistics* out) {
  return withCamera(h, 0, [&](CNivexa& cam) {
    if (out == nullptr) {
      cam.RecordError(NIVEXA_ERR_ARGUMENT);
      return 0;
    }
    *out = cam.StreamStatistics();
    return 1;
  });
}

}  // extern "C"

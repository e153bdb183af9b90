#pragma once

#include <gst/gst.h>

#include <cstdint>

G_BEGIN_DECLS

#define GST_TYPE_NIVEXA_POOL (gst_nivexa_pool_get_type())
G_DECLARE_FINAL_TYPE(GstNivexaPool, gst_nivexa_pool, GST, NIVEXA_POOL, GstBufferPool)

G_END_DECLS

// What the last acquire saw when it gave up on a frame that is not coming.
enum class NivexaPoolFailure { kNone, kCameraLost, kStreamStopped };

// A pool whose buffers live lent to one camera's buffer stream: releasing a buffer (downstream
// dropping its last reference, or the pool filling itself on activation) lends its memory to the
// library, and acquiring waits for the library to hand one back filled. `handle` must stay open
// until gst_nivexa_pool_stop_lending returned.
GstNivexaPool* gst_nivexa_pool_new(int32_t handle, uint32_t frameBytes);

// Stops the camera's stream and takes every lent buffer back into the pool; buffers released
// later stay in the pool. Safe to call more than once.
void gst_nivexa_pool_stop_lending(GstNivexaPool* pool);

// Makes a waiting acquire return GST_FLOW_FLUSHING (on) and lets it wait again (off): the
// element's unlock, which must not disturb the pool's own activation state.
void gst_nivexa_pool_interrupt(GstNivexaPool* pool, bool on);

// Why the last acquire returned GST_FLOW_ERROR.
NivexaPoolFailure gst_nivexa_pool_failure(GstNivexaPool* pool);

// The camera's frame number and arrival time (host monotonic ns) of a buffer this pool handed
// out; false for a buffer of another pool.
bool gst_nivexa_pool_frame_of(GstBuffer* buffer, uint32_t* frameNumber, uint64_t* arrivalNs);

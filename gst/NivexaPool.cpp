#include "NivexaPool.h"

#include <atomic>
#include <mutex>

#include "NivexaStream.h"

namespace {

// How long one wait for a frame blocks before the pool looks at its flushing flag again: the
// bound on how late a state change sees the streaming thread let go.
constexpr int32_t kWaitSliceMs = 50;

// The library's record of one lent buffer; it must not move while lent, so it lives beside the
// GstBuffer as qdata rather than in it.
struct LentFrame {
  NivexaBuffer record{};
};

GQuark lentFrameQuark() {
  static const GQuark quark = g_quark_from_static_string("GstNivexaPoolLentFrame");
  return quark;
}

LentFrame* lentFrameOf(GstBuffer* buffer) {
  return static_cast<LentFrame*>(
      gst_mini_object_get_qdata(GST_MINI_OBJECT(buffer), lentFrameQuark()));
}

struct PoolState {
  int32_t handle = 0;
  uint32_t frameBytes = 0;
  // Guards `lending` against the release of a buffer racing the end of the stream: a buffer is
  // either lent before the stream stops (and comes back cancelled) or kept in the pool.
  std::mutex lendLock;
  bool lending = true;
  std::atomic<bool> flushing{false};
  std::atomic<bool> interrupted{false};
  std::atomic<NivexaPoolFailure> failure{NivexaPoolFailure::kNone};
};

}  // namespace

struct _GstNivexaPool {
  GstBufferPool parent;
  PoolState* state;
};

G_DEFINE_TYPE(GstNivexaPool, gst_nivexa_pool, GST_TYPE_BUFFER_POOL)

namespace {

void keepInPool(GstBufferPool* pool, GstBuffer* buffer) {
  GST_BUFFER_POOL_CLASS(gst_nivexa_pool_parent_class)->release_buffer(pool, buffer);
}

// Lends buffer's memory to the stream; false when it cannot be lent (its memory was replaced
// downstream, or is shared and so not writable, or the library refused it).
bool lend(PoolState& state, GstBuffer* buffer) {
  LentFrame* frame = lentFrameOf(buffer);
  if (frame == nullptr || GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_TAG_MEMORY)) {
    return false;
  }
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
    return false;
  }
  // System memory stays where it is after unmapping; the library writes it while it holds the
  // buffer, and nobody else can, as the pool holds the only reference.
  void* data = map.data;
  const gsize size = map.size;
  gst_buffer_unmap(buffer, &map);
  if (size < state.frameBytes) {
    return false;
  }
  frame->record = NivexaBuffer{};
  frame->record.data = data;
  frame->record.capacity = static_cast<uint32_t>(size);
  frame->record.user = buffer;
  return NivexaStream_Queue(state.handle, &frame->record) != 0;
}

void lendOrKeep(GstBufferPool* pool, GstBuffer* buffer) {
  PoolState& state = *GST_NIVEXA_POOL(pool)->state;
  std::lock_guard<std::mutex> lock(state.lendLock);
  if (!state.lending || !lend(state, buffer)) {
    keepInPool(pool, buffer);
  }
}

GstFlowReturn allocBuffer(GstBufferPool* pool, GstBuffer** buffer,
                          GstBufferPoolAcquireParams* params) {
  const GstFlowReturn result =
      GST_BUFFER_POOL_CLASS(gst_nivexa_pool_parent_class)->alloc_buffer(pool, buffer, params);
  if (result == GST_FLOW_OK) {
    gst_mini_object_set_qdata(GST_MINI_OBJECT(*buffer), lentFrameQuark(), new LentFrame{},
                              [](gpointer frame) { delete static_cast<LentFrame*>(frame); });
  }
  return result;
}

GstFlowReturn acquireBuffer(GstBufferPool* pool, GstBuffer** buffer,
                            GstBufferPoolAcquireParams* /*params*/) {
  PoolState& state = *GST_NIVEXA_POOL(pool)->state;
  for (;;) {
    if (state.flushing.load() || state.interrupted.load()) {
      return GST_FLOW_FLUSHING;
    }
    NivexaBuffer* record = NivexaStream_Wait(state.handle, kWaitSliceMs);
    if (record == nullptr) {
      continue;
    }
    auto* filled = static_cast<GstBuffer*>(record->user);
    switch (record->status) {
      case NIVEXA_BUFFER_COMPLETE:
        *buffer = filled;
        return GST_FLOW_OK;
      case NIVEXA_BUFFER_INCOMPLETE:
        // Not a frame: the buffer goes straight back for the next one.
        lendOrKeep(pool, filled);
        continue;
      case NIVEXA_BUFFER_FAILED:
        keepInPool(pool, filled);
        state.failure = NivexaPoolFailure::kCameraLost;
        return GST_FLOW_ERROR;
      default:
        keepInPool(pool, filled);
        state.failure = NivexaPoolFailure::kStreamStopped;
        return GST_FLOW_ERROR;
    }
  }
}

void flushStart(GstBufferPool* pool) {
  GST_NIVEXA_POOL(pool)->state->flushing = true;
}

void flushStop(GstBufferPool* pool) {
  GST_NIVEXA_POOL(pool)->state->flushing = false;
}

void finalize(GObject* object) {
  delete GST_NIVEXA_POOL(object)->state;
  G_OBJECT_CLASS(gst_nivexa_pool_parent_class)->finalize(object);
}

}  // namespace

static void gst_nivexa_pool_class_init(GstNivexaPoolClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = finalize;
  GstBufferPoolClass* pool = GST_BUFFER_POOL_CLASS(klass);
  pool->alloc_buffer = allocBuffer;
  pool->acquire_buffer = acquireBuffer;
  pool->release_buffer = lendOrKeep;
  pool->flush_start = flushStart;
  pool->flush_stop = flushStop;
}

static void gst_nivexa_pool_init(GstNivexaPool* self) {
  self->state = new PoolState;
}

GstNivexaPool* gst_nivexa_pool_new(int32_t handle, uint32_t frameBytes) {
  auto* pool = static_cast<GstNivexaPool*>(g_object_new(GST_TYPE_NIVEXA_POOL, nullptr));
  gst_object_ref_sink(pool);
  pool->state->handle = handle;
  pool->state->frameBytes = frameBytes;
  return pool;
}

void gst_nivexa_pool_stop_lending(GstNivexaPool* pool) {
  PoolState& state = *pool->state;
  {
    std::lock_guard<std::mutex> lock(state.lendLock);
    if (!state.lending) {
      return;
    }
    state.lending = false;
  }
  NivexaStream_Stop(state.handle);
  // Everything the library still had comes back now: filled but not taken, or cancelled.
  while (NivexaBuffer* record = NivexaStream_Wait(state.handle, 0)) {
    keepInPool(GST_BUFFER_POOL(pool), static_cast<GstBuffer*>(record->user));
  }
}

void gst_nivexa_pool_interrupt(GstNivexaPool* pool, bool on) {
  pool->state->interrupted = on;
}

NivexaPoolFailure gst_nivexa_pool_failure(GstNivexaPool* pool) {
  return pool->state->failure.load();
}

bool gst_nivexa_pool_frame_of(GstBuffer* buffer, uint32_t* frameNumber, uint64_t* arrivalNs) {
  const LentFrame* frame = lentFrameOf(buffer);
  if (frame == nullptr) {
    return false;
  }
  *frameNumber = frame->record.frameNumber;
  *arrivalNs = frame->record.timestampNs;
  return true;
}

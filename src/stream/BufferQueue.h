#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "NivexaStream.h"

namespace nivexa::stream {

// The buffers an application lends one camera handle, and the frames' way back to it.
//
// A lent buffer is in exactly one place: queued (waiting for a frame), taken (being filled by
// the thread that took it, the capture thread for raw frames or else the acquisition thread,
// which alone holds it then), or returned (waiting for NivexaStream_Wait or the callback). It
// leaves the queue's hands when Wait hands it out or the callback receives it, and from then on the
// library never touches it. Every buffer lent anywhere in the process is also in one registry, so
// one lent twice, to this handle or another, is refused.
class BufferQueue {
 public:
  enum class QueueResult { Queued, Null, AlreadyLent, TooSmall };

  BufferQueue() = default;
  // Buffers still held are forgotten (their owner handle is going away): they are not written
  // again and may be lent anew.
  ~BufferQueue();
  BufferQueue(const BufferQueue&) = delete;
  BufferQueue& operator=(const BufferQueue&) = delete;

  QueueResult queue(NivexaBuffer* buffer);

  // The capacity frames of the starting stream need; queued buffers below it come back
  // cancelled. 0 accepts any buffer (no stream prepared).
  void setRequiredBytes(uint32_t bytes);
  uint32_t requiredBytes() const;

  // ---- The thread that fills buffers ----
  // The oldest queued buffer, now the caller's to fill; null when none is queued.
  NivexaBuffer* take();
  // A taken buffer that was not filled goes back to the head of the queue, to be taken first.
  void untake(NivexaBuffer* buffer);
  // Hands a taken buffer back with its status and the fields the filler set. A thread that must
  // not run application code (the capture thread) defers the callback: the buffer waits, in
  // order, for deliverPending() on another thread. Wait() gets it at once either way.
  enum class Callback { Now, Deferred };
  void complete(NivexaBuffer* buffer, uint32_t status, Callback callback = Callback::Now);
  // Runs the callback for every buffer completed with Callback::Deferred so far.
  void deliverPending();
  // Every queued buffer comes back with `status` (cancelled or failed); returns how many.
  size_t returnQueued(uint32_t status);

  // ---- The application ----
  // The oldest returned buffer; waits up to timeoutMs (negative: no limit). Null on time-out,
  // while a callback is set, or once interrupt() was called during the wait.
  NivexaBuffer* wait(int32_t timeoutMs);
  // Wakes every waiter with null: the stream stopped.
  void interrupt();
  // The handle is being released: every waiter, now or later, gets null at once.
  void close();
  void setCallback(NivexaStreamCallback callback, void* context);
  bool hasCallback() const;

 private:
  // Returned buffers go to the callback, or to the returned list for wait(). Called with the
  // lock held; the callback runs with it released.
  void handBack(std::unique_lock<std::mutex>& lock, const std::vector<NivexaBuffer*>& buffers);

  mutable std::mutex mutex_;
  std::condition_variable returnedOrInterrupted_;
  std::deque<NivexaBuffer*> queued_;
  std::deque<NivexaBuffer*> returned_;
  NivexaBuffer* taken_ = nullptr;
  uint32_t requiredBytes_ = 0;
  uint64_t interrupts_ = 0;
  bool closed_ = false;
  NivexaStreamCallback callback_ = nullptr;
  void* context_ = nullptr;
  // Buffers on their way to the callback, delivered in order by the one thread that is
  // delivering; a callback that stops the stream adds its cancelled buffers here instead of
  // being called again from inside itself.
  std::deque<NivexaBuffer*> outbox_;
  std::thread::id deliverer_;
};

}  // namespace nivexa::stream

#pragma once

// Frames from the library's buffer queue, newest only: the acquisition side keeps the latest
// complete frame and gives every older one straight back to the library, so a display that is
// slower than the camera skips frames instead of falling behind.

#include <NivexaStream.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "ImageMath.h"

namespace nivexa::viewer {

// One frame copied out of the queue for the interface to keep.
struct Frame {
  std::vector<uint8_t> data;
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  int stride = 0;
  uint32_t number = 0;
  uint64_t timestampNs = 0;  // monotonic host time its last byte arrived
  FrameView view() const { return FrameView{data, width, height, bitsPerPixel, stride}; }
};

// Counted over every stream the source ran, so that a restart (a new depth, a calibration step)
// does not reset a measurement.
struct FrameCounts {
  uint64_t delivered = 0;  // complete buffers the library handed back
  uint64_t shown = 0;      // frames the interface took
  uint64_t skipped = 0;    // frames replaced by a newer one before the interface took them
};

class FrameSource {
 public:
  // Called on the acquisition thread with each complete frame (for recording); keep it short.
  using FrameTap = std::function<void(const NivexaBuffer&)>;

  FrameSource() = default;
  ~FrameSource() { stop(); }
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  // Starts a buffer stream on handle h with `flags`; false (the reason on the handle's error
  // stack) when it did not start.
  bool start(int32_t h, int32_t flags);
  // Stops the stream; afterwards the library holds none of the buffers.
  void stop();
  bool running() const { return handle_ != 0; }

  // Copies the newest frame not taken yet into out; false when there is none.
  bool takeNewest(Frame& out);
  // True once the camera stopped delivering (a buffer came back failed).
  bool failed() const { return failed_.load(); }
  FrameCounts counts() const;
  void setTap(FrameTap tap);

 private:
  struct Slot {
    NivexaBuffer buffer{};
    std::vector<uint8_t> memory;
  };
  static void onBuffer(NivexaBuffer* buffer, void* context);
  void handle(NivexaBuffer* buffer);
  void giveBack(NivexaBuffer* buffer);

  int32_t handle_ = 0;
  std::vector<std::unique_ptr<Slot>> slots_;
  mutable std::mutex mutex_;
  NivexaBuffer* newest_ = nullptr;
  bool stopping_ = false;
  FrameCounts counts_;
  std::atomic<bool> failed_{false};
  std::mutex tapMutex_;
  FrameTap tap_;
};

}  // namespace nivexa::viewer

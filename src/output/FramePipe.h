#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "imaging/DibImage.h"

namespace nivexa::output {

// A frame converted for the file, waiting to be written.
struct PipedFrame {
  imaging::DibImage rows;
  uint32_t time = 0;  // milliseconds, when it was taken
};

// A fixed set of frame buffers between the thread that takes frames and the thread that writes
// them, so that a slow write (the disk flushing its cache) does not hold up the next look.
class FramePipe {
 public:
  // False when the buffers cannot be had.
  bool create(size_t buffers, int32_t width, int32_t height);

  // A buffer to fill, or nullptr when none is free. Never blocks.
  PipedFrame* takeFree();
  void pushFilled(PipedFrame* frame);
  // The oldest filled buffer; blocks until there is one, or returns nullptr once the pipe is
  // closed and empty.
  PipedFrame* popFilled();
  void giveBack(PipedFrame* frame);
  // No more frames will come.
  void close();

 private:
  std::vector<std::unique_ptr<PipedFrame>> frames_;
  std::mutex mutex_;
  std::condition_variable filledChanged_;
  std::vector<PipedFrame*> free_;
  std::deque<PipedFrame*> filled_;
  bool closed_ = false;
};

}  // namespace nivexa::output

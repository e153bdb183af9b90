#include "output/FramePipe.h"

namespace nivexa::output {

bool FramePipe::create(size_t buffers, int32_t width, int32_t height) {
  std::lock_guard<std::mutex> lock(mutex_);
  frames_.clear();
  free_.clear();
  filled_.clear();
  closed_ = false;
  for (size_t i = 0; i < buffers; ++i) {
    auto frame = std::make_unique<PipedFrame>();
    if (frame->rows.Create(width, height, 24) == 0) {
      return false;
    }
    free_.push_back(frame.get());
    frames_.push_back(std::move(frame));
  }
  return true;
}

PipedFrame* FramePipe::takeFree() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (free_.empty()) {
    return nullptr;
  }
  PipedFrame* frame = free_.back();
  free_.pop_back();
  return frame;
}

void FramePipe::pushFilled(PipedFrame* frame) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    filled_.push_back(frame);
  }
  filledChanged_.notify_one();
}

PipedFrame* FramePipe::popFilled() {
  std::unique_lock<std::mutex> lock(mutex_);
  filledChanged_.wait(lock, [this] { return !filled_.empty() || closed_; });
  if (filled_.empty()) {
    return nullptr;
  }
  PipedFrame* frame = filled_.front();
  filled_.pop_front();
  return frame;
}

void FramePipe::giveBack(PipedFrame* frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  free_.push_back(frame);
}

void FramePipe::close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  filledChanged_.notify_all();
}

}  // namespace nivexa::output

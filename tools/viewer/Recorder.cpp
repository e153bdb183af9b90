#include "Recorder.h"

namespace nivexa::viewer {

bool Recorder::start(const std::string& path) {
  std::lock_guard lock(mutex_);
  file_ = std::ofstream(path, std::ios::binary | std::ios::trunc);
  if (!file_) {
    return false;
  }
  path_ = path;
  frames_ = 0;
  bytes_ = 0;
  writeFailed_ = false;
  started_ = std::chrono::steady_clock::now();
  recording_ = true;
  return true;
}

void Recorder::stop() {
  std::lock_guard lock(mutex_);
  if (!recording_) {
    return;
  }
  recording_ = false;
  stopped_ = std::chrono::steady_clock::now();
  file_.close();
  if (file_.fail()) {
    writeFailed_ = true;
  }
}

void Recorder::write(const NivexaBuffer& buffer) {
  std::lock_guard lock(mutex_);
  if (!recording_ || writeFailed_) {
    return;
  }
  const auto size = static_cast<std::streamsize>(buffer.stride) * buffer.height;
  file_.write(static_cast<const char*>(buffer.data), size);
  if (!file_) {
    writeFailed_ = true;
    return;
  }
  ++frames_;
  bytes_ += static_cast<uint64_t>(size);
}

double Recorder::elapsedSeconds() const {
  const auto end = recording_ ? std::chrono::steady_clock::now() : stopped_;
  if (frames_ == 0 && !recording_ && end == std::chrono::steady_clock::time_point{}) {
    return 0.0;
  }
  return std::chrono::duration<double>(end - started_).count();
}

}  // namespace nivexa::viewer

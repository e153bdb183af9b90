#pragma once

// Records every complete frame of the stream, as the camera sent it, one after the other into
// one raw file (no header: each frame is stride x height bytes of the geometry shown when it
// started). Frames are written on the acquisition thread, so none is skipped for the display.

#include <NivexaStream.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>

namespace nivexa::viewer {

class Recorder {
 public:
  bool start(const std::string& path);
  void stop();
  bool recording() const { return recording_.load(); }
  // Called with each complete frame.
  void write(const NivexaBuffer& buffer);

  uint64_t frames() const { return frames_.load(); }
  uint64_t bytes() const { return bytes_.load(); }
  double elapsedSeconds() const;
  bool writeFailed() const { return writeFailed_.load(); }
  const std::string& path() const { return path_; }

 private:
  std::mutex mutex_;
  std::ofstream file_;
  std::string path_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point stopped_;
  std::atomic<bool> recording_{false};
  std::atomic<bool> writeFailed_{false};
  std::atomic<uint64_t> frames_{0};
  std::atomic<uint64_t> bytes_{0};
};

}  // namespace nivexa::viewer

#pragma once

// Records every complete frame of the stream while it runs. A name ending in .avi (or without a
// known ending) gets an uncompressed AVI through the library's AVI writer for buffers, playable
// anywhere; one ending in .raw gets the frames as they are, one after the other, with no header
// (each frame stride x height bytes of the geometry shown when it started). Frames are written
// on the acquisition thread, so none is skipped for the display.

#include <NivexaStream.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>

namespace nivexa::viewer {

class Recorder {
 public:
  // Starts a recording of the frames of handle h's stream, at its current geometry and depth.
  // False when the file cannot be created (for an AVI the reason is on h's error stack).
  bool start(int32_t h, const std::string& path);
  // Completes the file (an AVI takes its name only now).
  void stop();
  bool recording() const { return recording_.load(); }
  // Called with each complete frame.
  void write(const NivexaBuffer& buffer);

  uint64_t frames() const { return frames_.load(); }
  uint64_t bytes() const { return bytes_.load(); }
  double elapsedSeconds() const;
  bool writeFailed() const { return writeFailed_.load(); }
  const std::string& path() const { return path_; }

  static bool isRaw(const std::string& path);

 private:
  struct AviRelease {
    void operator()(NivexaAviFile* file) const { NivexaStream_AviRelease(file); }
  };

  std::mutex mutex_;
  std::ofstream file_;
  std::unique_ptr<NivexaAviFile, AviRelease> avi_;
  std::string path_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point stopped_;
  std::atomic<bool> recording_{false};
  std::atomic<bool> writeFailed_{false};
  std::atomic<uint64_t> frames_{0};
  std::atomic<uint64_t> bytes_{0};
};

}  // namespace nivexa::viewer

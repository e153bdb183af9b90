#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "FrameSink.h"
#include "NivexaSdk.h"
#include "NivexaStream.h"
#include "Scenario.h"

// What the scenarios share: a camera handle, buffers with guard bytes, a buffer stream, and
// the wording of failures.
namespace nivexa::compliance {

using Clock = std::chrono::steady_clock;

// How long any single frame may take to arrive before a scenario calls it lost: generous, as a
// real camera at its longest exposure and a loaded machine both need it.
inline constexpr int32_t kFrameTimeoutMs = 5000;

// A failure's reason, formatted as printf does.
std::string text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The handle's recorded error codes, newest first, emptying its stack.
std::vector<LONG> takeErrors(LONG h);
std::string describeErrors(const std::vector<LONG>& codes);

// A handle with camera `device` open; released when it goes. `problem` says why not when
// handle() is 0.
class Camera {
 public:
  explicit Camera(int device);
  ~Camera() { release(); }
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;

  LONG handle() const { return h_; }
  const std::string& problem() const { return problem_; }
  // Releases now (as a scenario does mid-acquisition); returns Nivexa_Release's result.
  BOOL release();

 private:
  LONG h_ = 0;
  std::string problem_;
};

// Memory for the library to write with guard bytes on both sides, so a write past the size it
// was given shows.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size);
  uint8_t* data() { return bytes_.data() + kGuardBytes; }
  LONG size() const { return static_cast<LONG>(size_); }
  bool guardsIntact() const;
  // Fills the inside with `pattern`; untouched() then tells whether anything wrote it since.
  void fill(uint8_t pattern);
  bool untouched(uint8_t pattern) const { return untouchedFrom(0, pattern); }
  // Whether the inside from byte `offset` on still holds `pattern`.
  bool untouchedFrom(size_t offset, uint8_t pattern) const;

 private:
  static constexpr size_t kGuardBytes = 4096;
  static constexpr uint8_t kGuardPattern = 0xC3;
  size_t size_;
  std::vector<uint8_t> bytes_;
};

// A file name of its own in the temporary folder, removed (with whatever was written there)
// when it goes.
class ScratchFile {
 public:
  explicit ScratchFile(const char* extension);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Holds the camera to a frame rate any host keeps up with, by a long enough exposure, and puts
// the exposure back when it goes: at a camera's full rate a busy host falls behind, and frames
// replaced before the stream takes them are dropped, which makes gaps in the numbers.
// Nivexa_SetExposureTime's unit is a tick of 100 us.
inline LONG exposureTicks(double seconds) {
  constexpr double kTicksPerSecond = 10000.0;
  return static_cast<LONG>(std::lround(seconds * kTicksPerSecond));
}

class ModerateFrameRate {
 public:
  ModerateFrameRate(LONG h, double exposureS);
  ~ModerateFrameRate();
  ModerateFrameRate(const ModerateFrameRate&) = delete;
  ModerateFrameRate& operator=(const ModerateFrameRate&) = delete;

 private:
  LONG h_;
  LONG saved_ = 0;
  bool set_ = false;
};

// Bytes of one processed frame as the library delivers it now.
size_t processedFrameBytes(LONG h);

// A buffer stream with its buffers lent; stopped before its memory goes.
class BufferStream {
 public:
  BufferStream(LONG h, size_t bufferCount, int32_t flags);
  ~BufferStream();
  BufferStream(const BufferStream&) = delete;
  BufferStream& operator=(const BufferStream&) = delete;

  bool started() const { return started_; }
  // Why it did not start.
  const std::string& problem() const { return problem_; }
  // The next buffer back; nullptr on time-out.
  NivexaBuffer* wait(int32_t timeoutMs) { return NivexaStream_Wait(h_, timeoutMs); }
  bool requeue(NivexaBuffer* buffer) { return NivexaStream_Queue(h_, buffer) != 0; }
  NivexaStreamStatistics statistics() const;

 private:
  LONG h_;
  std::vector<std::vector<uint8_t>> memory_;
  std::vector<NivexaBuffer> buffers_;
  bool started_ = false;
  std::string problem_;
};

// Follows a run of frame numbers: no number twice, no step back.
class FrameNumbers {
 public:
  // Empty when the number follows on; else what is wrong.
  std::string add(uint32_t number);
  uint64_t gaps() const { return gaps_; }
  // Where the first gap was, for a report; empty when there was none.
  const std::string& firstGap() const { return firstGap_; }

 private:
  bool first_ = true;
  uint32_t last_ = 0;
  uint64_t gaps_ = 0;
  uint64_t count_ = 0;
  std::string firstGap_;
};

// The camera sends a frame only when the host asks for one, so a frame lost (never received,
// as opposed to dropped by a stream that fell behind) is a transfer that failed: none is
// allowed. Empty when none was lost; else the failure, with where it began.
std::string excessiveLoss(uint64_t lost, uint64_t received, const FrameNumbers& numbers);

// Waits for the next NIVEXA_WM_FRAME on the sink (skipping others); false on time-out.
bool nextFrame(FrameSink& sink, PostedMessage& out, int32_t timeoutMs = kFrameTimeoutMs);

inline constexpr std::chrono::milliseconds kPollInterval{5};

// Waits until a predicate holds, polling; false when it did not within timeoutMs.
template <typename Predicate>
bool waitUntil(Predicate predicate, int32_t timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!predicate()) {
    if (Clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

}  // namespace nivexa::compliance

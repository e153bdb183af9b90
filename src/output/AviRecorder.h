#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "output/AviWriter.h"
#include "output/RecordingSource.h"
#include "platform/Event.h"
#include "platform/Thread.h"

namespace nivexa::output {

struct RecordingOptions {
  uint32_t durationMs = 0;
  // Fastest rate at which the source delivers frames, when known; it lets longer recordings
  // keep the plain file layout. 0: bounded by the polling period alone.
  uint32_t maxFramesPerSecond = 0;
  AviLimits limits;
};

struct RecordingStats {
  uint64_t frames = 0;
  uint32_t rate = 0;  // hundredths of a frame per second
  uint64_t fileBytes = 0;
  bool writeFailed = false;
};

// The recording thread: every 10 ms it looks for a processed frame newer than the last one it
// took, converts it to bottom-up 24-bit rows and appends it, until the duration has passed after
// the first frame or Stop is called. Either way it completes the file.
class AviRecorder {
 public:
  static constexpr uint32_t kPollMs = 10;
  // Called on the recording thread with error code 12 when the file could not be written whole.
  using ErrorSink = std::function<void(uint32_t code)>;

  AviRecorder() = default;
  AviRecorder(const AviRecorder&) = delete;
  AviRecorder& operator=(const AviRecorder&) = delete;
  ~AviRecorder();

  // Ends a recording in progress, opens the file for the current output bitmap of `source` and
  // starts the thread. Returns 0 when recording has started, otherwise the error code for the
  // caller to record: 12 when there is no usable frame format or the file cannot be created,
  // 3 when the thread cannot be started. `source` must outlive the recording.
  uint32_t Start(const std::string& path, const RecordingOptions& options, RecordingSource& source,
                 ErrorSink onError);
  // Ends the recording, completing the file, and waits for the thread. Harmless when idle.
  void Stop();
  bool IsRecording() const { return recording_.load(); }
  // Waits until the recording has ended by itself; true when it has.
  bool WaitFinished(uint32_t timeoutMs) { return finished_.wait(timeoutMs); }
  // Counts of the last completed recording.
  RecordingStats LastStats() const;

  static uint64_t MostFrames(const RecordingOptions& options);

 private:
  void run(uint32_t durationMs, FrameGeometry geometry);

  AviWriter writer_;
  RecordingSource* source_ = nullptr;
  ErrorSink onError_;
  platform::Event stop_{platform::Event::Reset::Manual};
  platform::Event finished_{platform::Event::Reset::Manual, true};
  std::atomic<bool> recording_{false};
  mutable std::mutex statsMutex_;
  RecordingStats stats_;
  platform::Thread thread_;
};

}  // namespace nivexa::output

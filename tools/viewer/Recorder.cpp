#include "Recorder.h"

#include <NivexaSdk.h>

#include <filesystem>

namespace nivexa::viewer {

namespace {

// The AVI's rate comes from the frames' own timestamps, and its length is not known.
constexpr double kRateFromFrames = 0;
constexpr uint64_t kLengthUnknown = 0;

}  // namespace

bool Recorder::isRaw(const std::string& path) {
  const std::string extension = std::filesystem::path(path).extension().string();
  return extension == ".raw" || extension == ".RAW";
}

bool Recorder::start(int32_t h, const std::string& path) {
  std::lock_guard lock(mutex_);
  if (isRaw(path)) {
    file_ = std::ofstream(path, std::ios::binary | std::ios::trunc);
    if (!file_) {
      return false;
    }
  } else {
    // Processed frames have the output bitmap's size and the colour mode's depth.
    avi_.reset(NivexaStream_AviCreate(h, path.c_str(), Nivexa_Width(h), Nivexa_Height(h),
                                      Nivexa_GetColorMode(h), kRateFromFrames, kLengthUnknown));
    if (avi_ == nullptr) {
      return false;
    }
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
  if (avi_ != nullptr) {
    if (NivexaStream_AviClose(avi_.get()) == 0) {
      writeFailed_ = true;
    }
    avi_.reset();
    return;
  }
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
  if (avi_ != nullptr) {
    // A frame of another size or depth (the settings changed underneath) ends the writing too:
    // the file holds one format.
    if (NivexaStream_AviAppend(avi_.get(), &buffer) == 0) {
      writeFailed_ = true;
      return;
    }
  } else {
    file_.write(static_cast<const char*>(buffer.data), size);
    if (!file_) {
      writeFailed_ = true;
      return;
    }
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

#include "Support.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <random>

namespace nivexa::compliance {

namespace {

// The error stack holds 20 codes; reading more than that ends any loop on a broken handle.
constexpr int kErrorStackDepth = 20;
// A jump in the frame counter this large is a step back past the counter's wrap.
constexpr uint32_t kBackwardStep = 0x80000000u;

}  // namespace

std::string text(const char* format, ...) {
  char buffer[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  return buffer;
}

std::vector<LONG> takeErrors(LONG h) {
  std::vector<LONG> codes;
  for (int i = 0; i < kErrorStackDepth; ++i) {
    const LONG code = Nivexa_GetLastError(h);
    if (code == 0) {
      break;
    }
    codes.push_back(code);
  }
  return codes;
}

std::string describeErrors(const std::vector<LONG>& codes) {
  if (codes.empty()) {
    return "none";
  }
  std::string out;
  for (const LONG code : codes) {
    out += (out.empty() ? "" : ", ") + std::to_string(code);
  }
  return out;
}

Camera::Camera(int device) {
  h_ = Nivexa_Initialize(nullptr);
  if (h_ == 0) {
    problem_ = "Nivexa_Initialize returned no handle";
    return;
  }
  if (!Nivexa_SetDeviceNumber(h_, device)) {
    problem_ =
        text("camera %d did not open (errors %s)", device, describeErrors(takeErrors(h_)).c_str());
    release();
    return;
  }
  // A camera that opened leaves nothing on the stack; what the scenarios read there is theirs.
  takeErrors(h_);
}

BOOL Camera::release() {
  const BOOL released = h_ != 0 ? Nivexa_Release(h_) : 0;
  h_ = 0;
  return released;
}

GuardedBuffer::GuardedBuffer(size_t size)
    : size_(size), bytes_(size + 2 * kGuardBytes, kGuardPattern) {}

bool GuardedBuffer::guardsIntact() const {
  const auto isGuard = [](uint8_t v) { return v == kGuardPattern; };
  return std::all_of(bytes_.begin(), bytes_.begin() + kGuardBytes, isGuard) &&
         std::all_of(bytes_.end() - kGuardBytes, bytes_.end(), isGuard);
}

void GuardedBuffer::fill(uint8_t pattern) {
  std::fill(bytes_.begin() + kGuardBytes, bytes_.end() - kGuardBytes, pattern);
}

bool GuardedBuffer::untouchedFrom(size_t offset, uint8_t pattern) const {
  if (offset > size_) {
    return true;
  }
  return std::all_of(bytes_.begin() + static_cast<std::ptrdiff_t>(kGuardBytes + offset),
                     bytes_.end() - kGuardBytes, [pattern](uint8_t v) { return v == pattern; });
}

ScratchFile::ScratchFile(const char* extension) {
  std::random_device random;
  std::error_code error;
  path_ = (std::filesystem::temp_directory_path(error) /
           text("nivexa-compliance-%08x%08x%s", random(), random(), extension))
              .string();
}

ScratchFile::~ScratchFile() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

ModerateFrameRate::ModerateFrameRate(LONG h, double exposureS) : h_(h) {
  const LONG moderate = exposureTicks(exposureS);
  NivexaCameraInfo info{};
  info.size = sizeof info;
  BOOL ok = 0;
  saved_ = Nivexa_GetExposureTime(h, &ok);
  if (!ok || !Nivexa_GetCameraInfo(h, &info)) {
    takeErrors(h);
    return;
  }
  const LONG exposure = std::clamp(moderate, info.exposureMin, info.exposureMax);
  set_ = Nivexa_SetExposureTime(h, exposure) != 0;
  takeErrors(h);
}

ModerateFrameRate::~ModerateFrameRate() {
  if (set_) {
    Nivexa_SetExposureTime(h_, saved_);
  }
}

size_t processedFrameBytes(LONG h) {
  return NivexaStream_FrameBytes(h, NIVEXA_STREAM_PROCESSED);
}

BufferStream::BufferStream(LONG h, size_t bufferCount, int32_t flags) : h_(h) {
  const uint32_t frameBytes = NivexaStream_FrameBytes(h, flags);
  if (frameBytes == 0) {
    problem_ = "no frame size (errors " + describeErrors(takeErrors(h)) + ")";
    return;
  }
  memory_.assign(bufferCount, std::vector<uint8_t>(frameBytes));
  buffers_.resize(bufferCount);
  for (size_t i = 0; i < bufferCount; ++i) {
    buffers_[i].data = memory_[i].data();
    buffers_[i].capacity = frameBytes;
    if (!NivexaStream_Queue(h, &buffers_[i])) {
      problem_ = text("buffer %llu was not taken (errors %s)", static_cast<unsigned long long>(i),
                      describeErrors(takeErrors(h)).c_str());
      return;
    }
  }
  started_ = NivexaStream_Start(h, flags) != 0;
  if (!started_) {
    problem_ = "the stream did not start (errors " + describeErrors(takeErrors(h)) + ")";
  }
}

BufferStream::~BufferStream() {
  NivexaStream_Stop(h_);
  // The stopped stream's buffers wait to be collected; until they are, the library still counts
  // them as lent, and this memory may be lent again at the same address.
  while (NivexaStream_Wait(h_, 0) != nullptr) {
  }
}

NivexaStreamStatistics BufferStream::statistics() const {
  NivexaStreamStatistics statistics{};
  NivexaStream_GetStatistics(h_, &statistics);
  return statistics;
}

std::string FrameNumbers::add(uint32_t number) {
  if (first_) {
    first_ = false;
    last_ = number;
    return {};
  }
  const uint32_t step = number - last_;
  const uint32_t previous = last_;
  last_ = number;
  if (step == 0) {
    return text("frame %u came twice", number);
  }
  if (step >= kBackwardStep) {
    return text("frame number stepped back from %u to %u", previous, number);
  }
  ++count_;
  if (step > 1 && firstGap_.empty()) {
    firstGap_ = text("first gap after frame %llu: %u to %u",
                     static_cast<unsigned long long>(count_), previous, number);
  }
  gaps_ += step - 1;
  return {};
}

std::string excessiveLoss(uint64_t lost, uint64_t received, const FrameNumbers& numbers) {
  if (lost == 0) {
    return {};
  }
  return text("%llu frames lost of %llu (%s)", static_cast<unsigned long long>(lost),
              static_cast<unsigned long long>(lost + received), numbers.firstGap().c_str());
}

bool nextFrame(FrameSink& sink, PostedMessage& out, int32_t timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !sink.next(out, static_cast<int32_t>(left))) {
      return false;
    }
    if (out.message == NIVEXA_WM_FRAME) {
      return true;
    }
  }
}

}  // namespace nivexa::compliance

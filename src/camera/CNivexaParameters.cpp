// The named parameter exports that are not filter ids. What reaches the engine runs under the
// command lock, like the filter values.
#include <cmath>

#include "camera/CNivexa.h"
#include "camera/OkFlag.h"
#include "engine/EngineConstants.h"
#include "imaging/ProcessFrame.h"

namespace nivexa::camera {

namespace {

// One tick of the integer exposure is 100 microseconds.
constexpr int32_t kMicrosecondsPerTick = 100;
constexpr double kTicksPerSecond = 10000.0;

}  // namespace

void CNivexa::RefreshExposureSeconds() {
  double seconds = 0.0;
  if (engine_->ExposureSecondsSupported() && engine_->GetExposureSeconds(&seconds)) {
    analog_.exposureSeconds = seconds;
  }
}

double CNivexa::GetExposureTimeEx(BOOL* ok) {
  if (!RequireEngine()) {
    setOk(ok, 0);
    return -1.0;
  }
  std::lock_guard command(commandLock_);
  if (!engine_->ExposureSecondsSupported()) {
    RecordError(NIVEXA_ERR_UNSUPPORTED);
    setOk(ok, 0);
    return -1.0;
  }
  double seconds = 0.0;
  const int done = engine_->GetExposureSeconds(&seconds);
  setOk(ok, done != 0 ? 1 : 0);
  if (done == 0) {
    return -1.0;
  }
  analog_.exposureSeconds = seconds;
  return seconds;
}

int CNivexa::SetExposureTimeEx(double seconds) {
  if (!RequireEngine()) {
    return 0;
  }
  std::lock_guard command(commandLock_);
  if (!engine_->ExposureSecondsSupported()) {
    RecordError(NIVEXA_ERR_UNSUPPORTED);
    return 0;
  }
  // Ticks are derived from the seconds: a value with no tick count is not an exposure.
  if (!std::isfinite(seconds)) {
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  if (!engine_->SetExposureSeconds(seconds)) {
    return 0;
  }
  // The sensor clamps to its limits; both stored views follow what it took.
  double taken = seconds;
  if (!engine_->GetExposureSeconds(&taken)) {
    taken = seconds;
  }
  analog_.exposureSeconds = taken;
  // To the nearest tick: truncating the binary double would turn 0.0003 s into 2 ticks.
  analog_.exposureTicks = static_cast<int32_t>(std::lround(taken * kTicksPerSecond));
  return 1;
}

int32_t CNivexa::GetRealExposureTime(BOOL* ok) {
  if (!RequireEngine()) {
    setOk(ok, 0);
    return 0;
  }
  const int32_t microseconds = analog_.exposureTicks * kMicrosecondsPerTick;
  analog_.realExposureUs = microseconds;
  setOk(ok, 1);
  return microseconds;
}

int CNivexa::SetRealExposureTime(int32_t microseconds) {
  if (!RequireEngine()) {
    return 0;
  }
  std::lock_guard command(commandLock_);
  const auto ticks =
      static_cast<int32_t>(std::trunc(microseconds / static_cast<double>(kMicrosecondsPerTick)));
  if (ticks < engine_->GetExposureTicksMin() || ticks > engine_->GetExposureTicksMax()) {
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  analog_.exposureTicks = ticks;
  // The engine's tick setting is 16 bits wide; every tick count in range fits.
  const int done = engine_->SetExposureTicks(ticks & 0xFFFF);
  RefreshExposureSeconds();
  return DeviceCommand(done);
}

double CNivexa::GetTemperatureEx(BOOL* ok) {
  if (!RequireEngine()) {
    setOk(ok, 0);
    return 0.0;
  }
  std::lock_guard command(commandLock_);
  if (!engine_->HasTemperature()) {
    RecordError(NIVEXA_ERR_UNSUPPORTED);
    setOk(ok, 0);
    return 0.0;
  }
  double celsius = 0.0;
  const int done = engine_->ReadTemperature(&celsius);
  RecordError(done != 0 ? NIVEXA_OK : NIVEXA_ERR_TEXT);
  setOk(ok, done != 0 ? 1 : 0);
  return done != 0 ? celsius : 0.0;
}

// Without an open device there is no sensor to refuse the flag: it is kept, like every analog
// setting, for the stream preparation that applies it. A device that is open and fails the
// write is reported, and the flag stays what the sensor has.
int CNivexa::MirrorReachesDevice(int engineResult) {
  return currentDevice_ < 0 ? 1 : DeviceCommand(engineResult);
}

int32_t CNivexa::GetMirrorH() {
  if (!RequireEngine()) {
    return 0;
  }
  return params_.mirrorH;
}

int CNivexa::SetMirrorH(int32_t on) {
  if (!RequireEngine()) {
    return 0;
  }
  std::lock_guard command(commandLock_);
  const int32_t flag = on != 0 ? 1 : 0;
  if (!MirrorReachesDevice(engine_->SetMirrorH(flag))) {
    return 0;
  }
  params_.mirrorH = flag;
  return 1;
}

// The vertical mirror only posts its refusal, unlike the horizontal one; applications have
// always seen it that way.
int32_t CNivexa::GetMirrorV() {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  return params_.mirrorV;
}

int CNivexa::SetMirrorV(int32_t on) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  std::lock_guard command(commandLock_);
  const int32_t flag = on != 0 ? 1 : 0;
  if (!MirrorReachesDevice(engine_->SetMirrorV(flag))) {
    return 0;
  }
  params_.mirrorV = flag;
  return 1;
}

int CNivexa::SetSubSample(int32_t code) {
  if (code != 0 && code != 1) {
    return 0;
  }
  subsample_ = code;
  return 1;
}

int32_t CNivexa::GetColorMode() const {
  const int32_t bits = imaging::colorModeBits(static_cast<imaging::ColorMode>(colorMode_.load()));
  return bits > 0 ? bits : -1;
}

// Only the stored mode changes: a running stream keeps the bitmaps of the mode it was prepared
// for, and the next preparation creates those of this one.
int CNivexa::SetColorMode(int32_t bitsPerPixel) {
  if (engine_) {
    std::lock_guard command(commandLock_);
    const bool monochromeFormat = bitsPerPixel == 8 || bitsPerPixel == 32;
    const bool colourFormat =
        bitsPerPixel == 24 || bitsPerPixel == 32 || bitsPerPixel == 48 || bitsPerPixel == 64;
    if ((monochromeFormat && !engine_->AcceptsMonochromeFormats()) ||
        (colourFormat && !engine_->AcceptsColourFormats())) {
      RecordError(NIVEXA_ERR_ARGUMENT);
      return 0;
    }
  }
  const int32_t mode = imaging::colorModeFromBits(bitsPerPixel);
  if (mode < 0) {
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  colorMode_ = mode;
  return 1;
}

int CNivexa::SetWaitTime(int32_t milliseconds) {
  if (milliseconds < 0) {
    return 0;
  }
  waitTimeMs_ = milliseconds;
  return 1;
}

int CNivexa::GetIOPort(uint8_t* value) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  std::lock_guard command(commandLock_);
  if (value == nullptr) {
    PostError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  int ok = 0;
  const int port = engine_->ReadFpgaRegister(engine::fpga::kIoPort, &ok);
  if (ok == 0) {
    PostError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  *value = static_cast<uint8_t>(port & 0xFF);
  return 1;
}

int CNivexa::SetIOPort(uint8_t value) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  std::lock_guard command(commandLock_);
  return engine_->WriteFpgaRegister(engine::fpga::kIoPort, value);
}

int32_t CNivexa::GetInternalCorrection(BOOL* ok) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    setOk(ok, 0);
    return 0;
  }
  std::lock_guard command(commandLock_);
  if (!engine_->InternalCorrectionSupported()) {
    PostError(NIVEXA_ERR_UNSUPPORTED);
    setOk(ok, 0);
    return 0;
  }
  setOk(ok, 1);
  return engine_->GetInternalCorrection();
}

int CNivexa::SetInternalCorrection(int32_t on) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  std::lock_guard command(commandLock_);
  if (!engine_->InternalCorrectionSupported()) {
    PostError(NIVEXA_ERR_UNSUPPORTED);
    return 0;
  }
  return engine_->SetInternalCorrection(on != 0 ? 1 : 0);
}

int32_t CNivexa::GetAutoIris(BOOL* ok) {
  setOk(ok, 1);
  return params_.autoIris;
}

int CNivexa::SetAutoIris(int32_t mode) {
  if (mode < 0 || mode > 2) {
    PostError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  params_.autoIris = mode;
  return 1;
}

int CNivexa::SetSamplingRate(int32_t rate) {
  // Without an engine there is no frame period to set, and nothing is recorded.
  if (!engine_) {
    return 0;
  }
  std::lock_guard command(commandLock_);
  return engine_->FramePeriodHook(rate);
}

}  // namespace nivexa::camera

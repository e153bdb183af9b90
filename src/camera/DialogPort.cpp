#include "camera/DialogPort.h"

#include <mutex>

#include "camera/CNivexa.h"
#include "camera/FilterIds.h"
#include "camera/FilterTable.h"

namespace nivexa::camera {

namespace {

enum Paused : int32_t { kNothing = 0, kPreviewStopped = 1, kCapturePaused = 2 };
// Acquisition modes of the camera object.
constexpr int32_t kPreviewMode = 1;
constexpr int32_t kCaptureMode = 2;

bool within(int32_t value, int32_t minimum, int32_t maximum) {
  return value >= minimum && value <= maximum;
}

}  // namespace

DialogPort::DialogPort(CNivexa& camera) : camera_(camera) {
  // Changes from before the dialog opened are already in what it reads.
  camera_.dialogRefresh_ = 0;
}

int32_t DialogPort::filterValue(int32_t id) {
  if (id == kFilterBayerGainAuto) {
    return camera_.params_.bayerGainAuto;
  }
  const ObjectFilterRow* row = findObjectFilter(id);
  return row != nullptr && row->readable ? row->field(camera_.params_).load() : 0;
}

bool DialogPort::setFilterValue(int32_t id, int32_t value) {
  if (id == kFilterBayerGainAuto) {
    camera_.params_.bayerGainAuto = value != 0 ? 1 : 0;
    return true;
  }
  const ObjectFilterRow* row = findObjectFilter(id);
  if (row == nullptr || !within(value, row->minimum, row->maximum)) {
    return false;
  }
  row->field(camera_.params_) = value;
  return true;
}

void DialogPort::requestWhiteBalanceOnce() {
  // The one-shot flag first: the pipeline clears both after the frame that sees them.
  camera_.params_.bayerGainSingleShot = 1;
  camera_.params_.bayerGainAuto = 1;
}

void DialogPort::cancelWhiteBalanceOnce() {
  camera_.params_.bayerGainSingleShot = 0;
}

int32_t DialogPort::colorMode() {
  return camera_.colorMode_;
}

bool DialogPort::takeRefresh() {
  return camera_.dialogRefresh_.exchange(0) != 0;
}

bool DialogPort::colourSensor() {
  std::lock_guard command(camera_.commandLock_);
  return camera_.engine_->AcceptsColourFormats() != 0;
}

dialogs::IntLimits DialogPort::gainLimits() {
  std::lock_guard command(camera_.commandLock_);
  auto& e = *camera_.engine_;
  return {e.GetAnalogGainMin(), e.GetAnalogGainMax(), e.GetAnalogGainDefault()};
}

dialogs::IntLimits DialogPort::colourGainLimits() {
  std::lock_guard command(camera_.commandLock_);
  auto& e = *camera_.engine_;
  return {e.GetColourGainMin(), e.GetColourGainMax(), e.GetColourGainDefault()};
}

dialogs::IntLimits DialogPort::exposureLimits() {
  std::lock_guard command(camera_.commandLock_);
  auto& e = *camera_.engine_;
  return {e.GetExposureTicksMin(), e.GetExposureTicksMax(), e.GetExposureTicksDefault()};
}

std::optional<dialogs::IntLimits> DialogPort::blackLevelLimits() {
  std::lock_guard command(camera_.commandLock_);
  auto& e = *camera_.engine_;
  dialogs::IntLimits limits;
  if (!e.BlackLevelSupported() || !e.GetBlackLevelMin(&limits.minimum) ||
      !e.GetBlackLevelMax(&limits.maximum) || !e.GetBlackLevelDefault(&limits.defaultValue)) {
    return std::nullopt;
  }
  return limits;
}

std::optional<dialogs::SecondsLimits> DialogPort::secondsLimits() {
  std::lock_guard command(camera_.commandLock_);
  auto& e = *camera_.engine_;
  dialogs::SecondsLimits limits;
  if (!e.ExposureSecondsSupported() || !e.GetExposureSecondsMin(&limits.minimum) ||
      !e.GetExposureSecondsMax(&limits.maximum) ||
      !e.GetExposureSecondsDefault(&limits.defaultValue)) {
    return std::nullopt;
  }
  return limits;
}

int32_t DialogPort::gain() {
  std::lock_guard command(camera_.commandLock_);
  return camera_.engine_->GetAnalogGain();
}

bool DialogPort::setGain(int32_t value) {
  const dialogs::IntLimits limits = gainLimits();
  return within(value, limits.minimum, limits.maximum) &&
         camera_.SetFilterValue(kFilterGlobalGain, value) != 0;
}

int32_t DialogPort::colourGain(int32_t id) {
  BOOL ok = 0;
  return camera_.GetFilterValue(id, &ok);
}

bool DialogPort::setColourGain(int32_t id, int32_t value) {
  const dialogs::IntLimits limits = colourGainLimits();
  return within(value, limits.minimum, limits.maximum) && camera_.SetFilterValue(id, value) != 0;
}

int32_t DialogPort::exposureTicks() {
  std::lock_guard command(camera_.commandLock_);
  return camera_.engine_->GetExposureTicks();
}

bool DialogPort::setExposureTicks(int32_t ticks) {
  const dialogs::IntLimits limits = exposureLimits();
  return within(ticks, limits.minimum, limits.maximum) &&
         camera_.SetFilterValue(kFilterExposureTime, ticks) != 0;
}

double DialogPort::exposureSeconds() {
  std::lock_guard command(camera_.commandLock_);
  double seconds = camera_.analog_.exposureSeconds;
  camera_.engine_->GetExposureSeconds(&seconds);
  return seconds;
}

bool DialogPort::setExposureSeconds(double seconds) {
  const std::optional<dialogs::SecondsLimits> limits = secondsLimits();
  return limits && seconds >= limits->minimum && seconds <= limits->maximum &&
         camera_.SetExposureTimeEx(seconds) != 0;
}

int32_t DialogPort::blackLevel() {
  std::lock_guard command(camera_.commandLock_);
  int level = camera_.analog_.blackLevel;
  camera_.engine_->GetBlackLevel(&level);
  return level;
}

bool DialogPort::setBlackLevel(int32_t value) {
  std::lock_guard command(camera_.commandLock_);
  auto& e = *camera_.engine_;
  if (!e.BlackLevelSupported() || !e.SetBlackLevel(value)) {
    return false;
  }
  int level = value;
  e.GetBlackLevel(&level);
  camera_.analog_.blackLevel = level;
  return true;
}

bool DialogPort::mirrorV() {
  return camera_.params_.mirrorV != 0;
}

bool DialogPort::setMirrorV(bool on) {
  return camera_.SetMirrorV(on ? 1 : 0) != 0;
}

bool DialogPort::mirrorH() {
  return camera_.params_.mirrorH != 0;
}

bool DialogPort::setMirrorH(bool on) {
  return camera_.SetMirrorH(on ? 1 : 0) != 0;
}

int32_t DialogPort::autoIris() {
  return camera_.params_.autoIris;
}

bool DialogPort::setAutoIris(int32_t mode) {
  return camera_.SetAutoIris(mode) != 0;
}

bool DialogPort::coolingSupported() {
  std::lock_guard command(camera_.commandLock_);
  return camera_.engine_->HasCooling() != 0;
}

bool DialogPort::cooling() {
  std::lock_guard command(camera_.commandLock_);
  int on = 0;
  camera_.engine_->GetCooling(&on);
  return on != 0;
}

bool DialogPort::setCooling(bool on) {
  std::lock_guard command(camera_.commandLock_);
  if (!camera_.engine_->HasCooling() || !camera_.engine_->SetCooling(on ? 1 : 0)) {
    return false;
  }
  camera_.analog_.cooling = on ? 1 : 0;
  return true;
}

bool DialogPort::shortExposureSupported() {
  std::lock_guard command(camera_.commandLock_);
  return camera_.engine_->FeatureSwitchSupported() != 0;
}

bool DialogPort::shortExposure() {
  std::lock_guard command(camera_.commandLock_);
  int on = 0;
  camera_.engine_->GetFeatureSwitch(&on);
  return on != 0;
}

bool DialogPort::setShortExposure(bool on) {
  std::lock_guard command(camera_.commandLock_);
  auto& e = *camera_.engine_;
  if (!e.FeatureSwitchSupported() || !e.SetFeatureSwitch(on ? 1 : 0)) {
    return false;
  }
  camera_.analog_.featureSwitch = on ? 1 : 0;
  return true;
}

bool DialogPort::gainModeSupported() {
  std::lock_guard command(camera_.commandLock_);
  return camera_.engine_->HasGainMode() != 0;
}

int32_t DialogPort::gainMode() {
  std::lock_guard command(camera_.commandLock_);
  return camera_.engine_->GetGainMode();
}

bool DialogPort::setGainMode(int32_t mode) {
  std::lock_guard command(camera_.commandLock_);
  if (!camera_.engine_->SetGainMode(mode)) {
    return false;
  }
  // Kept, so that the next stream preparation sets it again.
  camera_.analog_.gainMode = mode;
  return true;
}

int32_t DialogPort::position() {
  return camera_.currentDevice_;
}

bool DialogPort::acceptsMonochrome8() {
  std::lock_guard command(camera_.commandLock_);
  return camera_.engine_->AcceptsMonochromeFormats() != 0;
}

bool DialogPort::acceptsMonochrome16() {
  std::lock_guard command(camera_.commandLock_);
  return camera_.engine_->SecondFormatCapability() != 0;
}

bool DialogPort::acceptsColour() {
  std::lock_guard command(camera_.commandLock_);
  return camera_.engine_->AcceptsColourFormats() != 0;
}

settings::GeometrySettings DialogPort::captureGeometry() {
  settings::GeometrySettings g;
  camera_.GetCaptureWindowEx(&g.horizontalTotal, &g.horizontalStart, &g.frameWidth,
                             &g.verticalTotal, &g.verticalStart, &g.frameHeight);
  g.buffer = camera_.bufferValue_;
  return g;
}

settings::SensorSize DialogPort::sensorSize() {
  std::lock_guard command(camera_.commandLock_);
  const engine::ArraySize sensor = camera_.SensorSize();
  return {sensor.width, sensor.height};
}

// The sensor of this product reads out any window in either direction.
bool DialogPort::horizontalChangeAllowed() {
  return true;
}

bool DialogPort::verticalChangeAllowed() {
  return true;
}

int32_t DialogPort::pauseAcquisition() {
  CNivexa::AcquisitionGuard command(camera_);
  const int32_t mode = camera_.mode_;
  if (mode != kPreviewMode && mode != kCaptureMode) {
    return kNothing;
  }
  camera_.StopPreview();
  return mode == kPreviewMode ? kPreviewStopped : kCapturePaused;
}

void DialogPort::resumeAcquisition(int32_t paused) {
  CNivexa::AcquisitionGuard command(camera_);
  if (paused == kPreviewStopped) {
    camera_.StartPreview();
  } else if (paused == kCapturePaused) {
    camera_.Capture();
  }
}

void DialogPort::reloadStreamSettings() {
  CNivexa::AcquisitionGuard command(camera_);
  camera_.LoadStoredGeometry();
  camera_.LoadStoredStreamSettings();
}

}  // namespace nivexa::camera

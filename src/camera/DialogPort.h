#pragma once

#include "dialogs/CameraPort.h"

namespace nivexa::camera {

class CNivexa;

// The settings dialogs' view of one camera object. Values the dialogs offer are inside the
// setters' ranges, so the writes here record nothing on the handle unless the device fails.
class DialogPort final : public dialogs::CameraPort {
 public:
  explicit DialogPort(CNivexa& camera);

  int32_t filterValue(int32_t id) override;
  bool setFilterValue(int32_t id, int32_t value) override;
  void requestWhiteBalanceOnce() override;
  void cancelWhiteBalanceOnce() override;
  int32_t colorMode() override;
  bool takeRefresh() override;

  bool colourSensor() override;
  dialogs::IntLimits gainLimits() override;
  dialogs::IntLimits colourGainLimits() override;
  dialogs::IntLimits exposureLimits() override;
  std::optional<dialogs::IntLimits> blackLevelLimits() override;
  std::optional<dialogs::SecondsLimits> secondsLimits() override;
  int32_t gain() override;
  bool setGain(int32_t value) override;
  int32_t colourGain(int32_t id) override;
  bool setColourGain(int32_t id, int32_t value) override;
  int32_t exposureTicks() override;
  bool setExposureTicks(int32_t ticks) override;
  double exposureSeconds() override;
  bool setExposureSeconds(double seconds) override;
  int32_t blackLevel() override;
  bool setBlackLevel(int32_t value) override;
  bool mirrorV() override;
  bool setMirrorV(bool on) override;
  bool mirrorH() override;
  bool setMirrorH(bool on) override;
  int32_t autoIris() override;
  bool setAutoIris(int32_t mode) override;
  bool coolingSupported() override;
  bool cooling() override;
  bool setCooling(bool on) override;
  bool shortExposureSupported() override;
  bool shortExposure() override;
  bool setShortExposure(bool on) override;
  bool gainModeSupported() override;
  int32_t gainMode() override;
  bool setGainMode(int32_t mode) override;

  int32_t position() override;
  bool acceptsMonochrome8() override;
  bool acceptsMonochrome16() override;
  bool acceptsColour() override;
  settings::GeometrySettings captureGeometry() override;
  settings::SensorSize sensorSize() override;
  bool horizontalChangeAllowed() override;
  bool verticalChangeAllowed() override;
  int32_t pauseAcquisition() override;
  void resumeAcquisition(int32_t paused) override;
  void reloadStreamSettings() override;

 private:
  CNivexa& camera_;
};

}  // namespace nivexa::camera

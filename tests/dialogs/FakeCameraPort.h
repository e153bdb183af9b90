#pragma once

#include <map>

#include "dialogs/CameraPort.h"

namespace nivexa::dialogs::test {

// A camera whose capabilities a test chooses (a colour sensor, no real time units), for the
// dialog variants this product's own camera never shows. Values are kept as written.
class FakeCameraPort : public CameraPort {
 public:
  bool colour = true;
  bool realTime = true;
  std::map<int32_t, int32_t> filters;

  int32_t filterValue(int32_t id) override { return filters[id]; }
  bool setFilterValue(int32_t id, int32_t value) override {
    filters[id] = value;
    return true;
  }
  void requestWhiteBalanceOnce() override {
    filters[10] = 1;
    whiteBalanceOnce = true;
  }
  void cancelWhiteBalanceOnce() override { whiteBalanceOnce = false; }
  int32_t colorMode() override { return colour ? 2 : 0; }
  bool takeRefresh() override { return false; }
  bool colourSensor() override { return colour; }
  IntLimits gainLimits() override { return {0, 480, 0}; }
  IntLimits colourGainLimits() override { return {0, 255, 64}; }
  IntLimits exposureLimits() override { return {1, 10000, 100}; }
  std::optional<IntLimits> blackLevelLimits() override { return IntLimits{0, 1023, 240}; }
  std::optional<SecondsLimits> secondsLimits() override {
    return realTime ? std::optional<SecondsLimits>(SecondsLimits{0.00002, 2.0, 0.01})
                    : std::nullopt;
  }
  int32_t gain() override { return gain_; }
  bool setGain(int32_t value) override { return (gain_ = value), true; }
  int32_t colourGain(int32_t id) override { return colourGains_[id]; }
  bool setColourGain(int32_t id, int32_t value) override {
    colourGains_[id] = value;
    return true;
  }
  int32_t exposureTicks() override { return ticks_; }
  bool setExposureTicks(int32_t ticks) override { return (ticks_ = ticks), true; }
  double exposureSeconds() override { return seconds_; }
  bool setExposureSeconds(double seconds) override { return (seconds_ = seconds), true; }
  int32_t blackLevel() override { return black_; }
  bool setBlackLevel(int32_t value) override { return (black_ = value), true; }
  bool mirrorV() override { return mirrorV_; }
  bool setMirrorV(bool on) override { return (mirrorV_ = on), true; }
  bool mirrorH() override { return mirrorH_; }
  bool setMirrorH(bool on) override { return (mirrorH_ = on), true; }
  int32_t autoIris() override { return iris_; }
  bool setAutoIris(int32_t mode) override { return (iris_ = mode), true; }
  bool coolingSupported() override { return true; }
  bool cooling() override { return cooling_; }
  bool setCooling(bool on) override { return (cooling_ = on), true; }
  bool shortExposureSupported() override { return true; }
  bool shortExposure() override { return short_; }
  bool setShortExposure(bool on) override { return (short_ = on), true; }
  bool gainModeSupported() override { return true; }
  int32_t gainMode() override { return gainMode_; }
  bool setGainMode(int32_t mode) override { return (gainMode_ = mode), true; }
  int32_t position() override { return 0; }
  bool acceptsMonochrome8() override { return true; }
  bool acceptsMonochrome16() override { return true; }
  bool acceptsColour() override { return colour; }
  settings::GeometrySettings captureGeometry() override {
    return settings::fullSensorGeometry(sensor);
  }
  settings::SensorSize sensorSize() override { return sensor; }
  bool horizontalChangeAllowed() override { return true; }
  bool verticalChangeAllowed() override { return true; }
  int32_t pauseAcquisition() override { return 0; }
  void resumeAcquisition(int32_t) override {}
  void reloadStreamSettings() override {}

  bool whiteBalanceOnce = false;
  settings::SensorSize sensor{2048, 1536};

 private:
  int32_t gain_ = 0;
  std::map<int32_t, int32_t> colourGains_;
  int32_t ticks_ = 100;
  double seconds_ = 0.01;
  int32_t black_ = 240;
  bool mirrorV_ = false;
  bool mirrorH_ = false;
  int32_t iris_ = 0;
  bool cooling_ = true;
  bool short_ = false;
  int32_t gainMode_ = 0;
};

}  // namespace nivexa::dialogs::test

#pragma once

#include <cstdint>
#include <optional>

#include "settings/StreamSettings.h"

namespace nivexa::dialogs {

struct IntLimits {
  int32_t minimum = 0;
  int32_t maximum = 0;
  int32_t defaultValue = 0;
};

struct SecondsLimits {
  double minimum = 0.0;
  double maximum = 0.0;
  double defaultValue = 0.0;
};

// What the dialogs need of the camera behind a handle. Every write goes to the camera at once
// (the live preview follows the dialog) and returns false when the camera refused the value;
// nothing here records an error on the handle: a refused value in a dialog is shown, not
// reported.
class CameraPort {
 public:
  virtual ~CameraPort() = default;

  // ---- Processing values (image and gray pages), by filter id ----
  virtual int32_t filterValue(int32_t id) = 0;
  // Object-side ids with the setters' range checks, and automatic white balance (id 10).
  virtual bool setFilterValue(int32_t id, int32_t value) = 0;
  // Automatic white balance for one frame only, and the withdrawal of such a request that no
  // frame has taken yet.
  virtual void requestWhiteBalanceOnce() = 0;
  virtual void cancelWhiteBalanceOnce() = 0;
  virtual int32_t colorMode() = 0;  // 0..5
  // True once after the pipeline or the automatic exposure changed values the dialogs show.
  virtual bool takeRefresh() = 0;

  // ---- Analog settings (engine) ----
  virtual bool colourSensor() = 0;
  virtual IntLimits gainLimits() = 0;
  virtual IntLimits colourGainLimits() = 0;
  virtual IntLimits exposureLimits() = 0;  // ticks of 100 us
  virtual std::optional<IntLimits> blackLevelLimits() = 0;
  // Present when the engine works in real time units (seconds).
  virtual std::optional<SecondsLimits> secondsLimits() = 0;
  virtual int32_t gain() = 0;
  virtual bool setGain(int32_t value) = 0;
  // Colour gains by filter id (14 red, 15 green 1, 16 green 2, 17 blue).
  virtual int32_t colourGain(int32_t id) = 0;
  virtual bool setColourGain(int32_t id, int32_t value) = 0;
  virtual int32_t exposureTicks() = 0;
  virtual bool setExposureTicks(int32_t ticks) = 0;
  virtual double exposureSeconds() = 0;
  virtual bool setExposureSeconds(double seconds) = 0;
  virtual int32_t blackLevel() = 0;
  virtual bool setBlackLevel(int32_t value) = 0;
  virtual bool mirrorV() = 0;
  virtual bool setMirrorV(bool on) = 0;
  virtual bool mirrorH() = 0;
  virtual bool setMirrorH(bool on) = 0;
  virtual int32_t autoIris() = 0;
  virtual bool setAutoIris(int32_t mode) = 0;
  virtual bool coolingSupported() = 0;
  virtual bool cooling() = 0;
  virtual bool setCooling(bool on) = 0;
  virtual bool shortExposureSupported() = 0;
  virtual bool shortExposure() = 0;
  virtual bool setShortExposure(bool on) = 0;
  virtual bool gainModeSupported() = 0;
  virtual int32_t gainMode() = 0;
  // Sent to the camera and kept, so that the next stream preparation sets it again.
  virtual bool setGainMode(int32_t mode) = 0;

  // ---- Stream format ----
  // The camera position whose stored stream settings the dialog edits.
  virtual int32_t position() = 0;
  virtual bool acceptsMonochrome8() = 0;
  virtual bool acceptsMonochrome16() = 0;
  virtual bool acceptsColour() = 0;
  // The capture geometry in force.
  virtual settings::GeometrySettings captureGeometry() = 0;
  // The open camera's pixel array: the full size, and the bounds of every size set.
  virtual settings::SensorSize sensorSize() = 0;
  virtual bool horizontalChangeAllowed() = 0;
  virtual bool verticalChangeAllowed() = 0;
  // Stops a running preview or pauses a capture; what to resume is returned.
  virtual int32_t pauseAcquisition() = 0;
  virtual void resumeAcquisition(int32_t paused) = 0;
  // Loads the stored geometry and stream settings into the camera object again.
  virtual void reloadStreamSettings() = 0;
};

}  // namespace nivexa::dialogs

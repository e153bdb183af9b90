// The capture geometry: the sensor area read out, set directly or from the stored size presets.
#include <mutex>

#include "camera/CNivexa.h"
#include "camera/CaptureArea.h"
#include "settings/SizePresets.h"

namespace nivexa::camera {

int CNivexa::SetCaptureWindowEx(int32_t hTotal, int32_t hStart, int32_t hEffective, int32_t vTotal,
                                int32_t vStart, int32_t vEffective) {
  AcquisitionGuard command(*this);
  if (!RequireEngine()) {
    return 0;
  }
  if (!engine_->CheckAreaWidth(hTotal, hEffective) ||
      !engine_->CheckAreaHeight(vTotal, vEffective)) {
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  return ApplyCaptureArea(hTotal, hStart, hEffective, vTotal, vStart, vEffective, bufferValue_);
}

int CNivexa::SetCaptureWindow(int32_t width, int32_t height) {
  AcquisitionGuard command(*this);
  if (!RequireEngine()) {
    return 0;
  }
  const auto preset = settings::findCaptureSizePreset(width, height);
  if (!preset) {
    RecordError(NIVEXA_ERR_WINDOW);
    return 0;
  }
  if (ApplyCaptureArea(preset->horizontalTotal, preset->horizontalStart, preset->frameWidth,
                       preset->verticalTotal, preset->verticalStart, preset->frameHeight,
                       preset->buffer)) {
    return 1;
  }
  // A preset the readout cannot take leaves the full sensor, not a broken area.
  const int32_t buffer = bufferValue_;
  const engine::ArraySize sensor = SensorSize();
  ApplyCaptureArea(sensor.width, 0, sensor.width, sensor.height, 0, sensor.height, buffer);
  return 0;
}

int CNivexa::ApplyCaptureArea(int32_t hTotal, int32_t hStart, int32_t hEffective, int32_t vTotal,
                              int32_t vStart, int32_t vEffective, int32_t buffer) {
  horizontalTotal_ = hTotal;
  horizontalStart_ = hStart;
  frameWidth_ = hEffective;
  verticalTotal_ = vTotal;
  verticalStart_ = vStart;
  frameHeight_ = vEffective;
  bufferValue_ = buffer;
  const int32_t subsample = subsample_;
  const engine::ArraySize sensor = SensorSize();
  if (!validCaptureArea({hStart, vStart, hEffective, vEffective}, subsample, sensor.width,
                        sensor.height)) {
    RecordError(NIVEXA_ERR_FORMAT);
    return 0;
  }
  // A running stream keeps the frame size its bitmaps and the engine's ring were made for; the
  // next stream preparation gives the engine the new area. Without an open camera there is no
  // readout to tell.
  if (mode_ != kModeIdle || !engine_->HasSensor()) {
    return 1;
  }
  if (!engine_->SetReadoutWindow(hStart, vStart, hEffective, vEffective, subsample)) {
    RecordError(NIVEXA_ERR_FORMAT);
    return 0;
  }
  return 1;
}

int CNivexa::GetCaptureWindowEx(int32_t* hTotal, int32_t* hStart, int32_t* hEffective,
                                int32_t* vTotal, int32_t* vStart, int32_t* vEffective) const {
  const auto put = [](int32_t* out, int32_t value) {
    if (out != nullptr) {
      *out = value;
    }
  };
  put(hTotal, horizontalTotal_);
  put(hStart, horizontalStart_);
  put(hEffective, frameWidth_);
  put(vTotal, verticalTotal_);
  put(vStart, verticalStart_);
  put(vEffective, frameHeight_);
  return 1;
}

}  // namespace nivexa::camera

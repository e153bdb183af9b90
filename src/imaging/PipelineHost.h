#pragma once

#include <cstdint>

#include "imaging/DibImage.h"

namespace nivexa::imaging {

// What ProcessFrame needs from outside the pixels: the engine (for automatic exposure and gain,
// and whether it mirrors in hardware), the defect mask, and the open dialogs. The camera object
// implements it; tests use a fake.
class PipelineHost {
 public:
  virtual ~PipelineHost() = default;

  // Whether the engine already mirrors in hardware, so the software mirror is not applied twice.
  virtual bool engineMirrorsHorizontally() = 0;
  virtual bool engineMirrorsVertically() = 0;

  // Automatic gain (auto-iris mode 2). The setter clamps nothing itself: the pipeline clamps to
  // the limits first. setAutoGain sets the engine and stores the value as all gain settings.
  virtual int32_t currentGain() = 0;
  virtual int32_t gainMinimum() = 0;
  virtual int32_t gainMaximum() = 0;
  virtual void setAutoGain(int32_t gain) = 0;
  // Automatic exposure (auto-iris mode 1), in the engine's exposure units.
  virtual int32_t currentExposure() = 0;
  virtual int32_t exposureMinimum() = 0;
  virtual int32_t exposureMaximum() = 0;
  virtual void setAutoExposure(int32_t exposure) = 0;

  // Steps 2 and 3 on the raw bitmap; the host takes the mask lock around each.
  virtual void applyMaskFilter(DibImage& raw) = 0;
  virtual void applyDotFilter(DibImage& raw, int32_t threshold) = 0;

  // The pipeline wrote back gains (white balance, one-shot gray gain): refresh open dialogs.
  virtual void processingValuesChanged() = 0;
};

}  // namespace nivexa::imaging

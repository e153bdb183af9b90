#pragma once

#include <cstdint>

#include "imaging/DibImage.h"
#include "imaging/PipelineHost.h"
#include "imaging/ProcessingParameters.h"
#include "imaging/steps/StepScratch.h"

namespace nivexa::imaging {

// ColorMode: 0..5 for 8, 16, 24, 32, 48, 64 bits per pixel.
enum class ColorMode : int32_t {
  Mono8 = 0,
  Mono16 = 1,
  Bgr24 = 2,
  Bgr32 = 3,
  Bgr48 = 4,
  Bgr64 = 5
};

// Bits per pixel of a mode, and the mode of a depth (-1 for a depth that is none).
int32_t colorModeBits(ColorMode mode);
int32_t colorModeFromBits(int32_t bits);

// The per-handle bitmaps the pipeline works on. The camera object owns them and creates those
// the prepared mode needs when the stream starts.
struct FrameBitmaps {
  DibImage raw8;
  DibImage raw16;
  DibImage bgr24;
  DibImage bgr32;
  DibImage bgr48;
  DibImage bgr64;
  DibImage work;               // copy of the output format, read by the sharpness step
  steps::StepScratch scratch;  // row buffers of the demosaic and the sharpness, kept between frames

  DibImage& rawFor(ColorMode mode);
  DibImage& outputFor(ColorMode mode);
};

// Creates the bitmaps a mode needs at the given (already subsampled) frame size, and the work
// copy. Returns 0 when raw8 or any other bitmap the mode needs cannot be made.
int createFrameBitmaps(FrameBitmaps& bitmaps, ColorMode mode, int32_t width, int32_t height);

// Runs the enabled steps, in their fixed order, on the bitmaps of the mode the running stream was
// prepared for; the result is left in bitmaps.outputFor(mode). The raw bitmap holds the frame as
// the engine wrote it: rows tightly packed (width x bytes per pixel), not yet at their stride.
// Always completes; a step whose bitmap is missing or whose depth it does not handle is skipped.
void processFrame(ColorMode mode, FrameBitmaps& bitmaps, ProcessingParameters& params,
                  PipelineHost& host);

// The same steps, each by its plain reference arithmetic in the documented order: the oracle the
// fast pipeline is checked against. Same results, same write-backs, slower.
void processFrameReference(ColorMode mode, FrameBitmaps& bitmaps, ProcessingParameters& params,
                           PipelineHost& host);

}  // namespace nivexa::imaging

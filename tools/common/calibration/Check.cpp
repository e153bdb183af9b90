#include "Averaging.h"
#include "NivexaSdk.h"
#include "NivexaStream.h"
#include "calibration/Calibration.h"

namespace nivexa::calibration {
namespace {

constexpr NivexaLong kSixteenBits = 16;
constexpr int32_t kFrameTimeoutMs = 5000;

}  // namespace

CheckResult checkMask(int32_t handle, const std::string& maskFile, uint32_t frames) {
  CheckResult result;
  const auto refuse = [&](std::string problem) {
    result.problem = std::move(problem);
    result.error = Nivexa_GetLastError(handle);
    return result;
  };
  if (frames == 0 || frames > kMaxAveragedFrames) {
    return refuse("the number of frames must be 1.." + std::to_string(kMaxAveragedFrames));
  }
  if (!Nivexa_LoadMaskFile(handle, maskFile.c_str())) {
    return refuse("the mask file " + maskFile + " does not open or does not fit this camera");
  }
  if (!Nivexa_SetColorMode(handle, kSixteenBits)) {
    return refuse("16 bits per pixel refused");
  }
  for (const bool on : {false, true}) {
    if (!Nivexa_SetMaskFilter(handle, on ? 1 : 0) || !Nivexa_SetDotFilter(handle, on ? 1 : 0)) {
      return refuse("the correction filters could not be switched");
    }
    const AveragedFrame averaged =
        averageFrames(handle, NIVEXA_STREAM_PROCESSED, frames, kFrameTimeoutMs);
    if (!averaged.ok) {
      result.error = averaged.error;
      result.problem = averaged.problem;
      return result;
    }
    (on ? result.after : result.before) =
        measureUniformity(averaged.pixels, averaged.width, averaged.height);
  }
  result.ok = true;
  return result;
}

}  // namespace nivexa::calibration

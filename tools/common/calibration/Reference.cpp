#include <filesystem>

#include "Averaging.h"
#include "NivexaSdk.h"
#include "calibration/Calibration.h"

namespace nivexa::calibration {
namespace {

// The colour mode of raw 16-bit frames (12 significant bits in each little-endian word).
constexpr NivexaLong kSixteenBits = 16;

ReferenceResult refused(int32_t handle, std::string problem) {
  ReferenceResult result;
  result.problem = std::move(problem);
  result.error = Nivexa_GetLastError(handle);
  return result;
}

}  // namespace

ReferenceResult takeReference(int32_t handle, const ReferenceOptions& options,
                              const std::string& maskFile) {
  if (options.frames == 0 || options.frames > kMaxAveragedFrames) {
    ReferenceResult result;
    result.problem = "the number of frames must be 1.." + std::to_string(kMaxAveragedFrames);
    return result;
  }
  if (!Nivexa_SetColorMode(handle, kSixteenBits)) {
    return refused(handle, "16 bits per pixel refused");
  }
  // A flat reference taken after a dark one keeps it: the library's references are whatever
  // it last loaded or took, and the file holds both.
  std::error_code error;
  if (std::filesystem::is_regular_file(maskFile, error) &&
      !Nivexa_LoadMaskFile(handle, maskFile.c_str())) {
    return refused(handle, "the existing mask file " + maskFile + " does not fit this camera");
  }
  const AveragedFrame averaged = averageFrames(handle, 0, options.frames, options.frameTimeoutMs);
  if (!averaged.ok) {
    ReferenceResult result;
    result.problem = averaged.problem;
    result.error = averaged.error;
    return result;
  }
  // The library takes its reference from the newest raw frame it has processed, which a buffer
  // stream does not set: one snapshot provides it.
  if (!Nivexa_SnapShot(handle, nullptr, 0, 1)) {
    return refused(handle, "the reference frame did not arrive");
  }
  if (!Nivexa_UpdateMaskData(handle, static_cast<NivexaLong>(options.kind))) {
    return refused(handle, "the library did not take the reference");
  }
  if (!Nivexa_SaveMaskFile(handle, maskFile.c_str())) {
    return refused(handle, "the mask file " + maskFile + " could not be written");
  }
  ReferenceResult result;
  result.ok = true;
  result.framesAveraged = averaged.frames;
  result.width = averaged.width;
  result.height = averaged.height;
  result.mean = measureUniformity(averaged.pixels, averaged.width, averaged.height).mean;
  result.framesLost = averaged.lost;
  result.framesDropped = averaged.dropped;
  result.defects = findDefects(averaged.pixels, averaged.width, averaged.height, options.kind);
  return result;
}

}  // namespace nivexa::calibration

#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "imaging/DibImage.h"

namespace nivexa::output {

struct FrameGeometry {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
};

// What the recorder needs from the camera object: the output bitmap, and a number that grows
// with every frame the pipeline has processed into it. Both calls hold the image lock for their
// whole duration.
class RecordingSource {
 public:
  virtual ~RecordingSource() = default;
  // Size and depth of the output bitmap; nullopt when there is none.
  virtual std::optional<FrameGeometry> CurrentGeometry() = 0;
  // When the newest processed frame's number is above `after`, calls `use` with the output
  // bitmap holding it and returns its number; otherwise returns `after` without calling `use`.
  virtual uint64_t UseNewerFrame(uint64_t after,
                                 const std::function<void(const imaging::DibImage&)>& use) = 0;
};

}  // namespace nivexa::output

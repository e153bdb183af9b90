#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace nivexa::output {

// A processed frame as the pipeline left it: rows top first, padded to `stride` bytes.
struct FrameView {
  std::span<const uint8_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
  int32_t bitsPerPixel = 0;
};

struct FrameGeometry {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
};

// What the recorder needs from the camera object: the output bitmap and a number that grows
// with every processed frame. Both calls take the image lock for their whole duration.
class RecordingSource {
 public:
  virtual ~RecordingSource() = default;
  // Size and depth of the output bitmap; nullopt when there is none.
  virtual std::optional<FrameGeometry> CurrentGeometry() = 0;
  // When the newest processed frame's number is above `after`, calls `use` with that frame
  // and returns its number; otherwise returns `after` without calling `use`.
  virtual uint64_t UseNewerFrame(uint64_t after,
                                 const std::function<void(const FrameView&)>& use) = 0;
};

}  // namespace nivexa::output

// Frames averaged over the buffer stream; shared by the reference and the check.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nivexa::calibration {

struct AveragedFrame {
  bool ok = false;
  std::string problem;
  int32_t error = 0;
  std::vector<uint16_t> pixels;  // rows packed, rounded means of 16-bit samples
  int32_t width = 0;
  int32_t height = 0;
  uint32_t frames = 0;
  uint64_t lost = 0;
  uint64_t dropped = 0;
};

// Streams (flags as NivexaStream_Start takes them) until `frames` complete 16-bit frames have
// arrived and averages them. The camera must already be at a 16-bit colour mode.
AveragedFrame averageFrames(int32_t handle, int32_t flags, uint32_t frames, int32_t timeoutMs);

}  // namespace nivexa::calibration

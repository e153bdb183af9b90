#pragma once

#include <cstdint>
#include <string>

// What the tool reports of a recording, read from the file as any player would: the chain of
// RIFF chunks from the start to the end of the file, the frames each one's movi list holds, and
// the header's own totals, which must agree with them.
struct AviSummary {
  bool complete = false;
  std::string problem;  // why the file is not complete
  uint64_t fileBytes = 0;
  uint32_t riffChunks = 0;
  bool extended = false;  // the header has the OpenDML list
  uint32_t frames = 0;
  double framesPerSecond = 0.0;
};

AviSummary summarizeAvi(const std::string& path);

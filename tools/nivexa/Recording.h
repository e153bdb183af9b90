// Recordings of raw frames through the buffer stream: a multi-page TIFF or the frames back to
// back with a JSON description beside them.
#pragma once

#include <cstdint>
#include <string>

namespace nivexa::tool {

enum class RecordingFormat { Tiff, Raw };

// Records the raw frames of `seconds` into `path` (and for Raw, `path`.json) and reports the
// frames written, lost and dropped. Returns the tool's exit status.
int recordRawFrames(int32_t h, RecordingFormat format, const std::string& path, double seconds);

}  // namespace nivexa::tool

// Recordings through the buffer stream, every frame delivered written: processed frames into an
// AVI file, or raw frames into a multi-page TIFF or back to back with a JSON description beside
// them.
#pragma once

#include <cstdint>
#include <string>

namespace nivexa::tool {

enum class RecordingFormat { Avi, Tiff, Raw };

// Records the frames of `seconds` into `path` (and for Raw, `path`.json) and reports the frames
// written, delivered, lost and dropped. Returns the tool's exit status.
int recordStreamFrames(int32_t h, RecordingFormat format, const std::string& path, double seconds);

}  // namespace nivexa::tool

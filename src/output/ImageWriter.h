#pragma once

#include <cstdint>

#include "imaging/DibImage.h"

namespace nivexa::output {

// Writes a bitmap to `path` as the file type code says (0 BMP, 1 raw, 2/3/4 JPEG at quality
// 100/70/20, 5 PNG, 6 TIFF). The file appears under its name only when complete: the bytes go to
// a temporary file in the same folder that replaces the target once synced. Returns 1 on
// success; 0 for an unknown type, a depth the type cannot encode, a path that cannot be created
// or an encoding or write failure, in which case nothing is left under the requested name (an
// existing file there stays as it was).
int writeImageFile(const imaging::DibImage& image, const char* path, int32_t fileType);

}  // namespace nivexa::output

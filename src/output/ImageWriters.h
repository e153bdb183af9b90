#pragma once

#include <cstdint>

#include "imaging/DibImage.h"
#include "output/ByteSink.h"

// The encoders behind the image-file types. Each takes the output bitmap (row 0 = top of the
// picture) and writes one complete file into the sink; false when the depth is not one the type
// handles, when the library reports an error, or when the sink refuses bytes.
namespace nivexa::output {

enum class ImageFileType : int32_t {
  Bmp = 0,
  Raw = 1,
  Jpeg100 = 2,
  Jpeg70 = 3,
  Jpeg20 = 4,
  Png = 5,
  Tiff = 6,
};

// Whether a type code names a type and that type can encode a bitmap of this depth.
bool canWrite(int32_t fileType, int32_t bitsPerPixel);

bool writeBmp(const imaging::DibImage& image, ByteSink& sink);
bool writeRaw(const imaging::DibImage& image, ByteSink& sink);
bool writeJpeg(const imaging::DibImage& image, int quality, ByteSink& sink);
bool writePng(const imaging::DibImage& image, ByteSink& sink);
bool writeTiff(const imaging::DibImage& image, ByteSink& sink);

// The encoder for a type code, run into a sink.
bool writeImageTo(const imaging::DibImage& image, int32_t fileType, ByteSink& sink);

}  // namespace nivexa::output

#include "output/ImageWriter.h"

#include "output/ImageWriters.h"
#include "platform/FileIO.h"
#include "platform/Log.h"

namespace nivexa::output {

bool canWrite(int32_t fileType, int32_t bitsPerPixel) {
  const bool pipelineDepth = bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 24 ||
                             bitsPerPixel == 32 || bitsPerPixel == 48 || bitsPerPixel == 64;
  switch (static_cast<ImageFileType>(fileType)) {
    case ImageFileType::Bmp:
    case ImageFileType::Raw:
      return bitsPerPixel > 0;
    case ImageFileType::Jpeg100:
    case ImageFileType::Jpeg70:
    case ImageFileType::Jpeg20:
    case ImageFileType::Png:
    case ImageFileType::Tiff:
      return pipelineDepth;
  }
  return false;
}

bool writeImageTo(const imaging::DibImage& image, int32_t fileType, ByteSink& sink) {
  if (!image.valid() || !canWrite(fileType, image.bitsPerPixel())) {
    return false;
  }
  switch (static_cast<ImageFileType>(fileType)) {
    case ImageFileType::Bmp:
      return writeBmp(image, sink);
    case ImageFileType::Raw:
      return writeRaw(image, sink);
    case ImageFileType::Jpeg100:
      return writeJpeg(image, 100, sink);
    case ImageFileType::Jpeg70:
      return writeJpeg(image, 70, sink);
    case ImageFileType::Jpeg20:
      return writeJpeg(image, 20, sink);
    case ImageFileType::Png:
      return writePng(image, sink);
    case ImageFileType::Tiff:
      return writeTiff(image, sink);
  }
  return false;
}

int writeImageFile(const imaging::DibImage& image, const char* path, int32_t fileType) {
  if (path == nullptr || path[0] == '\0' || !image.valid() ||
      !canWrite(fileType, image.bitsPerPixel())) {
    return 0;
  }
  platform::AtomicFileWriter file;
  if (!file.open(path)) {
    return 0;
  }
  FileSink sink(file);
  if (!writeImageTo(image, fileType, sink) || !sink.flush()) {
    NIVEXA_LOG(Output, Info, "image file: type %d of a %u-bit bitmap to %s failed", fileType,
               image.bitsPerPixel(), path);
    file.abandon();
    return 0;
  }
  if (!file.commit()) {
    NIVEXA_LOG(Output, Warning, "image file %s could not be completed", path);
    return 0;
  }
  NIVEXA_LOG(Output, Info, "saved %s: type %d, %d x %d, %u bits per pixel, %llu bytes", path,
             fileType, image.width(), image.height(), image.bitsPerPixel(),
             static_cast<unsigned long long>(file.size()));
  return 1;
}

}  // namespace nivexa::output

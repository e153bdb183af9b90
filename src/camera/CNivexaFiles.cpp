#include "camera/CNivexa.h"
#include "camera/ConfigFile.h"
#include "output/ImageWriter.h"
#include "platform/Text.h"

namespace nivexa::camera {

int CNivexa::SaveImage(const char* path, int32_t fileType) {
  if (!RequireEngine()) {
    return 0;
  }
  // Under the image lock no frame is being processed: the file holds one whole frame.
  platform::CriticalSectionGuard image(imageLock_);
  const imaging::DibImage& output = bitmaps_.outputFor(StreamMode());
  if (!imageReady_ || !output.valid()) {
    RecordError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  // Writer failures (type, depth, path, library, disk) return 0 without an error code.
  return output::writeImageFile(output, path, fileType);
}

int CNivexa::LoadConfigFile(const char* path) {
  // Read and parsed before the lock is taken, so that only the swap can keep the filters waiting.
  auto records = readConfigFile(path);
  if (!records) {
    return 0;
  }
  platform::CriticalSectionGuard guard(maskLock_);
  configList_.swap(*records);
  return 1;
}

std::vector<std::pair<int32_t, int32_t>> CNivexa::ConfigList() const {
  platform::CriticalSectionGuard guard(maskLock_);
  return configList_;
}

std::optional<std::string> CNivexa::NarrowPath(const wchar_t* path) {
  auto narrow = platform::wideToNarrow(path, kPathBufferBytes);
  if (!narrow) {
    RecordError(NIVEXA_ERR_TEXT);
  }
  return narrow;
}

}  // namespace nivexa::camera

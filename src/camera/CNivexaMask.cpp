#include "camera/CNivexa.h"

namespace nivexa::camera {

// The mask operations work on references of the open camera's sensor; without one there is
// nothing they could belong to.
bool CNivexa::RequireMaskDevice() {
  if (!engine_ || currentDevice_ < 0) {
    RecordError(NIVEXA_ERR_NO_CAMERA);
    return false;
  }
  return true;
}

// Called under the mask lock: the references are the open sensor's size, so the window is
// measured against them without asking the engine from the acquisition thread.
imaging::mask::SensorWindow CNivexa::SensorWindowNow() const {
  const imaging::mask::MaskSize sensor = mask_.size();
  return {horizontalStart_, verticalStart_, frameWidth_, frameHeight_, sensor.width, sensor.height};
}

int CNivexa::LoadMaskFile(const char* path) {
  if (!RequireMaskDevice()) {
    return 0;
  }
  // The file is read and checked before the lock is taken: a slow disk or a large file stalls
  // no frame, and only the swap happens under it.
  imaging::mask::MaskSize sensor;
  {
    platform::CriticalSectionGuard mask(maskLock_);
    sensor = mask_.size();
  }
  const auto content = imaging::mask::readMaskFile(path, sensor);
  bool loaded = false;
  if (content) {
    platform::CriticalSectionGuard mask(maskLock_);
    loaded = mask_.Adopt(*content);
  }
  if (!loaded) {
    RecordError(NIVEXA_ERR_MASK_FILE);
    return 0;
  }
  return 1;
}

int CNivexa::SaveMaskFile(const char* path) {
  if (!RequireMaskDevice()) {
    return 0;
  }
  bool saved = false;
  {
    platform::CriticalSectionGuard mask(maskLock_);
    saved = mask_.Save(path);
  }
  if (!saved) {
    RecordError(NIVEXA_ERR_MASK_FILE);
    return 0;
  }
  return 1;
}

int CNivexa::UpdateMaskData(int32_t kind) {
  if (!RequireMaskDevice()) {
    return 0;
  }
  if (kind != 0 && kind != 1) {
    RecordError(NIVEXA_ERR_TEXT);
    return 0;
  }
  // The image lock keeps the pipeline from working on the frame while it is copied; the mask
  // lock, taken after it, keeps the filters from reading references being replaced.
  platform::CriticalSectionGuard image(imageLock_);
  platform::CriticalSectionGuard mask(maskLock_);
  const imaging::ColorMode mode = StreamMode();
  mask_.Update(bitmaps_.rawFor(mode),
               kind == 0 ? imaging::mask::MaskKind::Dark : imaging::mask::MaskKind::White);
  return 1;
}

}  // namespace nivexa::camera

// The preview window: its placement, its creation when a preview starts, and drawing each
// processed frame into it.
#include <cstdio>
#include <cstdlib>

#include "camera/CNivexa.h"
#include "camera/CaptureArea.h"
#include "platform/Clock.h"

namespace nivexa::camera {

int CNivexa::SetPreviewWindow(HWND parent, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!RequireEngine()) {
    return 0;
  }
  previewParent_ = parent;
  previewRect_[0] = x;
  previewRect_[1] = y;
  previewRect_[2] = width;
  previewRect_[3] = height;
  return 1;
}

bool CNivexa::PlacementSet() const {
  return previewParent_.load() != nullptr || previewRect_[0] != 0 || previewRect_[1] != 0 ||
         previewRect_[2] != 0 || previewRect_[3] != 0;
}

int CNivexa::OpenPreviewWindow() {
  platform::WindowRequest request;
  request.parent = previewParent_;
  request.x = previewRect_[0];
  request.y = previewRect_[1];
  request.width = previewRect_[2];
  request.height = previewRect_[3];
  if (request.parent == nullptr && request.x == 0 && request.y == 0 && request.width == 0 &&
      request.height == 0) {
    return 0;
  }
  // A top-level window is as large as the frame; the stored rectangle only asked for one.
  const int32_t divisor = subsampleDivisor(subsample_);
  request.clientWidth = frameWidth_ / divisor;
  request.clientHeight = frameHeight_ / divisor;
  char name[256];
  std::snprintf(
      name, sizeof name, "VideoRenderer_%08x_%08x",
      static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)),
      static_cast<unsigned>(platform::timeGetTime() + static_cast<uint32_t>(std::rand())));
  request.className = name;
  auto window = platform::createPreviewWindow(request);
  if (!window) {
    return 0;
  }
  platform::CriticalSectionGuard image(imageLock_);
  previewWindow_ = std::move(window);
  previewClassName_ = name;
  return 1;
}

void CNivexa::ClosePreviewWindow() {
  std::unique_ptr<platform::PreviewWindow> closing;
  {
    platform::CriticalSectionGuard image(imageLock_);
    closing = std::move(previewWindow_);
    previewClassName_.clear();
    display_.Release();
  }
  // Destroyed outside the image lock: a window waits for its own thread to finish.
}

void CNivexa::PrepareDisplay(imaging::ColorMode mode) {
  platform::CriticalSectionGuard image(imageLock_);
  if (!previewWindow_ || !previewWindow_->visible() || !previewWindow_->hasDeviceContext()) {
    return;
  }
  int32_t width = 0;
  int32_t height = 0;
  previewWindow_->clientSize(width, height);
  if (width > 0 && height > 0) {
    output::createDisplayBitmap(display_, mode, width, height);
  }
}

void CNivexa::DrawPreview(imaging::ColorMode mode) {
  if (previewWindow_) {
    painter_.paint(*previewWindow_, mode, bitmaps_, display_);
  }
}

}  // namespace nivexa::camera

#include "camera/CNivexa.h"

#include <algorithm>
#include <array>
#include <new>

#include "engine/CNivexaUSB3R5SimpleSdk.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Messages.h"

namespace nivexa::camera {

CNivexa::CNivexa(int32_t productId)
    : rateTime_(platform::timeGetTime()),
      productId_(productId),
      horizontalTotal_(engine::productArraySize(productId).width),
      verticalTotal_(engine::productArraySize(productId).height),
      frameWidth_(engine::productArraySize(productId).width),
      frameHeight_(engine::productArraySize(productId).height) {}

CNivexa::~CNivexa() {
  Teardown();
}

int CNivexa::Initialize(HWND notifyWindow) {
  AcquisitionGuard command(*this);
  engine_.reset(new (std::nothrow) engine::CNivexaUSB3R5SimpleSdk);
  notifyWindow_ = notifyWindow;
  if (notifyWindow != nullptr &&
      // The camera's interface class: arrival and removal notices go to the application.
      !platform::registerDeviceInterfaceNotification(
          notifyWindow, engine::CNivexaU3R5Base::CameraInterfaceGuid())) {
    // The application learns why its handle cannot see arrivals; nothing else on the stack is
    // touched.
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  if (!engine_) {
    RecordError(NIVEXA_ERR_MEMORY);
    return 0;
  }
  if (notifyWindow != nullptr) {
    engine_->WatchDeviceChanges();
  }
  // The product is chosen first: until a camera is open, its size is the product's.
  engine_->SetProductId(productId_);
  if (!CreateMaskImages()) {
    return 0;
  }
  LoadStoredGeometry();
  engine_->CreateController(&engine::CNivexaU3R5Base::CameraInterfaceGuid());
  if (engine_->CountDevices(productId_) == 1) {
    SetDeviceNumber(0);
  }
  // The geometry above was read before any camera was open, from the first-run key; the open
  // camera's own stored size (kept there by the capture-area setters and the stream dialog)
  // takes its place when it has one.
  if (currentDevice_ >= 0) {
    LoadStoredGeometry();
  }
  LoadStoredFilterSettings();
  LoadStoredGraySettings();
  LoadStoredGainSettings();
  LoadStoredStreamSettings();
  return 1;
}

int CNivexa::CreateMaskImages() {
  const engine::ArraySize sensor = SensorSize();
  platform::CriticalSectionGuard mask(maskLock_);
  return mask_.Create({sensor.width, sensor.height});
}

engine::ArraySize CNivexa::SensorSize() const {
  return engine_ ? engine_->FullArraySize() : engine::productArraySize(productId_);
}

bool CNivexa::FitMaskToSensor() {
  const engine::ArraySize sensor = SensorSize();
  platform::CriticalSectionGuard mask(maskLock_);
  const imaging::mask::MaskSize size{sensor.width, sensor.height};
  return mask_.size() == size || mask_.Create(size) != 0;
}

void CNivexa::Teardown() {
  AcquisitionGuard command(*this);
  const int32_t device = currentDevice_.exchange(-1);
  const bool cameraOpen = device >= 0;
  // Without an engine nothing can have been started, and a Close would only report the missing
  // engine to the application while its handle is going away.
  if (engine_) {
    // A handle that never opened a camera holds a driver's empty defaults (exposure and gains of
    // 0), not settings of its own: saved, they would replace position 0's stored settings and
    // every later run would start with black frames.
    if (cameraOpen) {
      SaveDeviceSettings();
    }
    Close();
    engine_->CloseCamera();
    engine_.reset();
    if (cameraOpen) {
      NIVEXA_LOG(Camera, Info, "device %d closed", device);
    }
  }
  for (imaging::DibImage* image :
       {&bitmaps_.raw8, &bitmaps_.raw16, &bitmaps_.bgr24, &bitmaps_.bgr32, &bitmaps_.bgr48,
        &bitmaps_.bgr64, &bitmaps_.work, &display_}) {
    image->Release();
  }
}

void CNivexa::RecordError(uint32_t code) {
  errors_.push(code);
  if (HWND window = notifyWindow_.load(); window != nullptr) {
    platform::postMessage(window, NIVEXA_WM_ERROR, 0, static_cast<intptr_t>(code));
  }
}

void CNivexa::PostError(uint32_t code) const {
  // Posted even without a notification window: it then lands in the calling thread's queue.
  platform::postMessage(notifyWindow_.load(), NIVEXA_WM_ERROR, 0, static_cast<intptr_t>(code));
}

bool CNivexa::RequireEngine() {
  if (engine_) {
    return true;
  }
  RecordError(NIVEXA_ERR_NO_CAMERA);
  return false;
}

}  // namespace nivexa::camera

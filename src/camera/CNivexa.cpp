#include "camera/CNivexa.h"

#include <algorithm>
#include <array>
#include <new>

#include "engine/CNivexaUSB3R5SimpleSdk.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "transport/drivers/Fx3Driver.h"

namespace nivexa::camera {

namespace {

constexpr uint16_t kWhite16 = 4095;  // full scale of the 12 significant bits

void fill16(imaging::DibImage& image, uint16_t value) {
  for (int32_t y = 0; y < image.height(); ++y) {
    uint8_t* row = image.row(y);
    for (int32_t x = 0; x < image.width(); ++x) {
      row[2 * x] = static_cast<uint8_t>(value & 0xFF);
      row[2 * x + 1] = static_cast<uint8_t>(value >> 8);
    }
  }
}

}  // namespace

CNivexa::CNivexa() : rateTime_(platform::timeGetTime()) {}

CNivexa::~CNivexa() {
  Teardown();
}

int CNivexa::Initialize(HWND notifyWindow) {
  std::lock_guard command(commandLock_);
  engine_.reset(new (std::nothrow) engine::CNivexaUSB3R5SimpleSdk);
  notifyWindow_ = notifyWindow;
  if (notifyWindow != nullptr &&
      // The camera's interface class: arrival and removal notices go to the application.
      !platform::registerDeviceInterfaceNotification(notifyWindow,
                                                     transport::kCameraInterfaceGuid)) {
    // The application learns why its handle cannot see arrivals; nothing else on the stack is
    // touched.
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  if (!engine_) {
    RecordError(NIVEXA_ERR_MEMORY);
    return 0;
  }
  if (!CreateMaskImages()) {
    return 0;
  }
  LoadStoredGeometry();
  engine_->SetProductId(kProductId);
  engine_->CreateController(&transport::kCameraInterfaceGuid);
  if (engine_->CountDevices(kProductId) == 1) {
    SetDeviceNumber(0);
  }
  LoadStoredFilterSettings();
  LoadStoredGraySettings();
  LoadStoredGainSettings();
  LoadStoredStreamSettings();
  return 1;
}

int CNivexa::CreateMaskImages() {
  constexpr uint16_t kDefectMapBits[6] = {8, 8, 16, 16, 8, 16};
  if (!maskDark8_.Create(kSensorWidth, kSensorHeight, 8) ||
      !maskWhite8_.Create(kSensorWidth, kSensorHeight, 8) ||
      !maskDark16_.Create(kSensorWidth, kSensorHeight, 16) ||
      !maskWhite16_.Create(kSensorWidth, kSensorHeight, 16)) {
    return 0;
  }
  for (size_t i = 0; i < defectMaps_.size(); ++i) {
    if (!defectMaps_[i].Create(kSensorWidth, kSensorHeight, kDefectMapBits[i])) {
      return 0;
    }
  }
  // Fresh bitmaps are zeroed, which is already what the dark images and defect maps hold.
  std::ranges::fill(maskWhite8_.pixels(), uint8_t{255});
  fill16(maskWhite16_, kWhite16);
  return 1;
}

void CNivexa::Teardown() {
  std::lock_guard command(commandLock_);
  currentDevice_ = -1;
  // Without an engine nothing can have been started, and a Close would only report the missing
  // engine to the application while its handle is going away.
  if (engine_) {
    SaveDeviceSettings();
    Close();
    engine_->CloseCamera();
    engine_.reset();
  }
  for (imaging::DibImage* image :
       {&bitmaps_.raw8, &bitmaps_.raw16, &bitmaps_.bgr24, &bitmaps_.bgr32, &bitmaps_.bgr48,
        &bitmaps_.bgr64, &bitmaps_.work, &display_}) {
    image->Release();
  }
  maskDark8_.Release();
  maskWhite8_.Release();
  maskDark16_.Release();
  maskWhite16_.Release();
  for (auto& map : defectMaps_) {
    map.Release();
  }
}

void CNivexa::RecordError(uint32_t code) {
  errors_.push(code);
  if (HWND window = notifyWindow_.load(); window != nullptr) {
    platform::postMessage(window, kErrorMessage, 0, static_cast<intptr_t>(code));
  }
}

void CNivexa::PostError(uint32_t code) const {
  // Posted even without a notification window: it then lands in the calling thread's queue.
  platform::postMessage(notifyWindow_.load(), kErrorMessage, 0, static_cast<intptr_t>(code));
}

bool CNivexa::RequireEngine() {
  if (engine_) {
    return true;
  }
  RecordError(NIVEXA_ERR_NO_CAMERA);
  return false;
}

}  // namespace nivexa::camera

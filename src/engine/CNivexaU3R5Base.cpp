#include "engine/CNivexaU3R5Base.h"

#include <algorithm>
#include <cstring>

#include "engine/SensorFactory.h"
#include "platform/Clock.h"
#include "sensors/Imx99xRegisters.h"

namespace nivexa::engine {

namespace {

// The driver of the alternative streaming interface is told so before it is checked.
constexpr int32_t kAlternativeStreamingModeWord = 0x10000;
// A driver that doubles the frame width answers this factor.
constexpr int kDoubledWidthFactor = 2;
// The video converter sends three bytes per pixel.
constexpr int64_t kConverterBytesPerPixel = 3;
constexpr int kCorrectionLevelMax = 65535;
// The die-temperature reading spans the full-scale kelvin over its counts.
constexpr double kDieTemperatureFullScaleKelvin = 503.975;
constexpr double kDieTemperatureCounts = 65536.0;
constexpr double kKelvinAtZeroCelsius = 273.15;
// The trigger modes in which frames are taken by the FPGA's frame counter.
constexpr int kTriggerFirstMode = 1;
constexpr int kTriggerLastMode = 3;

uint32_t roundUp(uint64_t bytes, uint32_t alignment) {
  return static_cast<uint32_t>((bytes + alignment - 1) / alignment * alignment);
}

}  // namespace

CNivexaU3R5Base::CNivexaU3R5Base()
    : ring_(kDefaultRingSlots), frameRateCounter_(platform::timeGetTime()) {}

CNivexaU3R5Base::~CNivexaU3R5Base() {
  CloseCamera();
}

int CNivexaU3R5Base::CreateController(const transport::Guid* interfaceGuid) {
  CloseCamera();
  controller_ = std::make_unique<transport::CVelCy3Cam>(
      interfaceGuid != nullptr ? *interfaceGuid : transport::kCameraInterfaceGuid);
  return 1;
}

int CNivexaU3R5Base::OpenCamera() {
  cameraOpen_ = 0;
  if (!controller_ || !controller_->PrepareStream()) {
    return 0;
  }
  controller_->ReadDeviceInfo(deviceInfo_);
  if (!sensor_) {
    return 0;
  }
  if (productHas(family::kAlternativeStreaming)) {
    sensor_->SetModeWord(kAlternativeStreamingModeWord);
  }
  // This product needs no start-up step of its own before the chip is checked and programmed.
  if (!sensor_->PreInitCheck()) {
    return 0;
  }
  cameraOpen_ = sensor_->ApplyDefaults() != 0 ? 1 : 0;
  return cameraOpen_;
}

int CNivexaU3R5Base::SupportsGroup(family::Group group) const {
  if (!sensor_) {
    return 0;
  }
  return productRow_ != nullptr && productRow_->has(group) ? 1 : 0;
}

int CNivexaU3R5Base::CloseCamera() {
  StopCapture();
  // The driver only borrows the controller, so it goes first.
  sensor_.reset();
  cameraOpen_ = 0;
  if (controller_) {
    controller_->CloseStream();
    controller_.reset();
  }
  deviceInfo_.fill(0);
  captureMode_ = kCaptureContinuous;
  receiveBuffer_.reset();
  receiveBufferSize_ = 0;
  ring_.release();
  frameSize_ = 0;
  {
    std::lock_guard lock(frameReadyMutex_);
    frameReady_.reset();
  }
  threadEnd_.reset();
  transferFailed_ = 0;
  return 1;
}

int CNivexaU3R5Base::ReadDeviceInfo(std::span<uint8_t, 64> record) {
  return controller_ ? controller_->ReadDeviceInfo(record) : 0;
}

int CNivexaU3R5Base::ReadExtendedInfo(std::span<uint8_t, 64> record) {
  return controller_ ? controller_->ReadExtendedInfo(record) : 0;
}

int CNivexaU3R5Base::SelectDevice(int deviceNumber) {
  StopCapture();
  return CreateSensor(deviceNumber) != 0 ? 0 : -1;
}

int CNivexaU3R5Base::CreateSensor(int deviceNumber) {
  if (!controller_ || productId_ == kProductIdNone || controller_->DeviceCount() < 1 ||
      !IsDeviceNumberValid(deviceNumber)) {
    return 0;
  }
  const int index = controller_->FindDevice(static_cast<uint16_t>(productId_), deviceNumber);
  if (!controller_->SetDeviceIndex(index)) {
    transferSetupNeeded_ = 1;
    return OpenCamera();
  }
  // The capture thread calls into the driver; it must be gone before the driver is.
  StopCapture();
  sensor_.reset();
  if (productRow_ == nullptr) {
    return 0;
  }
  sensor_ = buildSensor(*productRow_, controller_.get());
  if (!sensor_) {
    return 0;
  }
  deviceNumber_ = deviceNumber;
  transferSetupNeeded_ = 1;
  return OpenCamera();
}

int CNivexaU3R5Base::IsDeviceNumberValid(int deviceNumber) {
  if (!controller_ || productId_ == kProductIdNone) {
    return 0;
  }
  for (int i = 0; i < kMaxDevices; ++i) {
    if (controller_->ProductIdAt(i) == productId_ && controller_->InstanceAt(i) == deviceNumber &&
        controller_->IsOpenable(i)) {
      return 1;
    }
  }
  return 0;
}

int CNivexaU3R5Base::CountDevices(int productId) {
  if (!controller_) {
    return 0;
  }
  const int found = controller_->EnumerateDevices();
  if (productId == 0) {
    return found;
  }
  int count = 0;
  for (int i = 0; i < kMaxDevices; ++i) {
    if (controller_->ProductIdAt(i) == productId && controller_->IsOpenable(i)) {
      ++count;
    }
  }
  return count;
}

int CNivexaU3R5Base::GetDevicePath(int entry, std::string& path) {
  if (!controller_ || entry < 0 || entry >= kMaxDevices) {
    return 0;
  }
  path = controller_->PathAt(entry);
  return path.empty() ? 0 : 1;
}

int CNivexaU3R5Base::SetProductId(int productId) {
  // The ring is rebuilt; nothing may be writing into it meanwhile.
  if (running_) {
    StopCapture();
  }
  productId_ = productId;
  productRow_ = family::findFamilyRow(productId);
  ring_.setSlotCount(productHas(family::kStampedFrames) ? kStampedRingSlots : kDefaultRingSlots);
  transferSetupNeeded_ = 1;
  return 1;
}

int CNivexaU3R5Base::GetVendorIdAt(int entry) {
  return controller_ && entry >= 0 && entry < kMaxDevices ? controller_->VendorIdAt(entry) : 0;
}

int CNivexaU3R5Base::GetProductIdAt(int entry) {
  return controller_ && entry >= 0 && entry < kMaxDevices ? controller_->ProductIdAt(entry) : 0;
}

int CNivexaU3R5Base::GetInstanceAt(int entry) {
  return controller_ && entry >= 0 && entry < kMaxDevices ? controller_->InstanceAt(entry) : -1;
}

int CNivexaU3R5Base::UsesAlternativeStreaming() {
  return productHas(family::kAlternativeStreaming) ? 1 : 0;
}

// Answered without a driver: the monitor is the FPGA's, not the sensor's.
int CNivexaU3R5Base::HasFpgaTemperatureMonitor() {
  return productRow_ != nullptr && productRow_->has(family::kFpgaDieTemperature) ? 1 : 0;
}

int CNivexaU3R5Base::FpgaDieTemperatureSupported() {
  return HasFpgaTemperatureMonitor();
}

void CNivexaU3R5Base::WatchDeviceChanges() {
  if (!deviceWatch_) {
    deviceWatch_ = std::make_unique<transport::DeviceWatch>();
  }
}

uint16_t CNivexaU3R5Base::FirmwareVersion() const {
  return static_cast<uint16_t>(deviceInfo_[kFirmwareVersionOffset] |
                               deviceInfo_[kFirmwareVersionOffset + 1] << 8);
}

int CNivexaU3R5Base::PrepareTransfer() {
  // Buffers are rebuilt below; a running capture thread would write into freed memory.
  if (running_ && !captureThread_.isCurrent()) {
    StopCapture();
  }
  receiveBuffer_.reset();
  receiveBufferSize_ = 0;
  if (!sensor_) {
    return 0;
  }
  const sensors::SensorInfo& info = sensor_->info();
  const int64_t width =
      info.outputWidth *
      (sensor_->FrameWidthFactor() == kDoubledWidthFactor ? kDoubledWidthFactor : 1);
  const int64_t height = info.outputHeight;
  const int depth = outputDepth_;
  const int64_t bytesPerPixel = (depth == 1 || depth == 2) ? 2 : 1;
  const int64_t tripled =
      productRow_ != nullptr && productRow_->has(family::kConverter) ? kConverterBytesPerPixel : 1;
  if (width <= 0 || height <= 0) {
    return 0;
  }
  const uint32_t bufferSize =
      roundUp(static_cast<uint64_t>((height + kBufferMargin) * (width + kBufferMargin) *
                                    bytesPerPixel * tripled),
              kBufferAlignment);
  receiveBuffer_.reset(new (std::nothrow) uint8_t[bufferSize]);
  if (!receiveBuffer_ || !ring_.allocate(bufferSize)) {
    receiveBuffer_.reset();
    return 0;
  }
  receiveBufferSize_ = bufferSize;
  frameSize_ = static_cast<uint32_t>(height * width * bytesPerPixel * tripled);
  frameWidth_ = static_cast<int>(width);
  frameHeight_ = static_cast<int>(height);
  frameBytesPerPixel_ = static_cast<int>(bytesPerPixel);
  if (productHas(family::kAlternativeStreaming)) {
    return 0;
  }
  // An FPGA that did not take the size or the format would send frames of another shape than
  // the buffers just made for them: the preparation has failed, and is done again next time.
  if (controller_ && !productHas(family::kFpgaKeepsOutputSize)) {
    bool written = controller_->WriteFpgaRegister(fpga::kOutputWidthLow,
                                                  static_cast<uint8_t>(width & 0xFF)) != 0;
    written = controller_->WriteFpgaRegister(fpga::kOutputWidthHigh,
                                             static_cast<uint8_t>(width >> 8)) != 0 &&
              written;
    written = controller_->WriteFpgaRegister(fpga::kOutputHeightLow,
                                             static_cast<uint8_t>(height & 0xFF)) != 0 &&
              written;
    written = controller_->WriteFpgaRegister(fpga::kOutputHeightHigh,
                                             static_cast<uint8_t>(height >> 8)) != 0 &&
              written;
    if (!written) {
      return 0;
    }
  }
  if (!writeOutputFormat()) {
    return 0;
  }
  transferSetupNeeded_ = 0;
  return 1;
}

bool CNivexaU3R5Base::writeOutputFormat() {
  if (!controller_ || !sensor_ || !productHas(family::kWritesOutputFormat)) {
    return true;
  }
  const sensors::SensorInfo& info = sensor_->info();
  const bool mirrored = info.mirrorHCurrent != 0;
  uint8_t format = fpga::kFormatCodeFull;
  uint8_t offset = mirrored ? fpga::kMirrorOffsetFullMirrored : fpga::kMirrorOffsetFull;
  if (info.readoutMode == sensors::imx99x::kModeBinned ||
      info.readoutMode == sensors::imx99x::kModeSubsampled) {
    format = info.readoutMode == sensors::imx99x::kModeBinned ? fpga::kFormatCodeBinned
                                                              : fpga::kFormatCodeSubsampled;
    offset = mirrored ? fpga::kMirrorOffsetReducedMirrored : fpga::kMirrorOffsetReduced;
  } else if (productHas(family::kDefaultHeightFormat) && info.outputHeight == info.defaultHeight) {
    format = fpga::kFormatCodeFullDefaultHeight;
  }
  bool written = controller_->WriteFpgaRegister(fpga::kOutputFormatLow, format) != 0;
  written = controller_->WriteFpgaRegister(fpga::kOutputFormatHigh, 0) != 0 && written;
  written = controller_->WriteFpgaRegister(fpga::kMirrorOffsetLow, offset) != 0 && written;
  written = controller_->WriteFpgaRegister(fpga::kMirrorOffsetHigh, 0) != 0 && written;
  return written;
}

int CNivexaU3R5Base::SetOutputDepth(int mode) {
  if (!controller_) {
    return 0;
  }
  if (productHas(family::kDriverSetsDepth) && sensor_) {
    sensor_->SetOutputDepth(mode);
  }
  const uint8_t code = mode == 1 ? fpga::kOutputDepth16 : fpga::kOutputDepth8;
  if (!controller_->WriteFpgaRegister(fpga::kOutputDepth, code)) {
    return 0;
  }
  if (mode == outputDepth_) {
    return 1;
  }
  outputDepth_ = mode;
  return PrepareTransfer();
}

int CNivexaU3R5Base::SetReadoutWindow(int x, int y, int width, int height, int mode) {
  if (!sensor_) {
    return 0;
  }
  int storedX = 0, storedY = 0, storedWidth = 0, storedHeight = 0, storedMode = 0;
  GetReadoutWindow(&storedX, &storedY, &storedWidth, &storedHeight, &storedMode);
  if (x == storedX && y == storedY && width == storedWidth && height == storedHeight &&
      mode == storedMode) {
    return 1;
  }
  if (!sensor_->SetReadoutWindow(x, width, y, height, mode)) {
    return 0;
  }
  transferSetupNeeded_ = 1;
  return 1;
}

ArraySize productArraySize(int productId) {
  const family::FamilyRow* row = family::findFamilyRow(productId);
  return row != nullptr ? ArraySize{row->arrayWidth, row->arrayHeight} : ArraySize{};
}

ArraySize CNivexaU3R5Base::FullArraySize() const {
  if (sensor_) {
    return {sensor_->info().arrayWidth, sensor_->info().arrayHeight};
  }
  return productArraySize(productId_);
}

namespace {

bool areaFits(int total, int effective, int arraySize) {
  return effective > 0 && effective <= total && total <= arraySize;
}

bool spansArray(int effective, int arraySize) {
  return arraySize > 0 && effective == arraySize;
}

}  // namespace

int CNivexaU3R5Base::CheckAreaWidth(int total, int effective) {
  return spansArray(effective, FullArraySize().width) || areaFits(total, effective, GetArrayWidth())
             ? 1
             : 0;
}

int CNivexaU3R5Base::CheckAreaHeight(int total, int effective) {
  return spansArray(effective, FullArraySize().height) ||
                 areaFits(total, effective, GetArrayHeight())
             ? 1
             : 0;
}

int CNivexaU3R5Base::GetReadoutWindow(int* x, int* y, int* width, int* height, int* mode) {
  if (!sensor_) {
    return 0;
  }
  int rx = 0, ry = 0, rw = 0, rh = 0, rm = 0;
  if (!sensor_->GetReadoutWindow(&rx, &rw, &ry, &rh, &rm)) {
    return 0;
  }
  for (auto [out, value] : {std::pair{x, rx}, {y, ry}, {width, rw}, {height, rh}, {mode, rm}}) {
    if (out != nullptr) {
      *out = value;
    }
  }
  return 1;
}

int CNivexaU3R5Base::SetExposureTicks(int ticks) {
  // Long exposures need the payload wait to grow with them.
  frameTimeoutMs_ = ticks <= 50000 ? kDefaultFrameTimeoutMs : static_cast<uint32_t>(ticks / 5);
  if (productHas(family::kExposureBetweenFrames)) {
    deferredExposureTicks_ = ticks;
    deferredExposure_ = 1;
    return 1;
  }
  return sensor_ ? sensor_->SetExposureTicks(ticks) : 0;
}

int CNivexaU3R5Base::SetExposureSeconds(double seconds) {
  if (seconds > 2.0) {
    frameTimeoutMs_ = static_cast<uint32_t>((seconds + 1.0) * 1000.0);
  }
  return sensor_ ? sensor_->SetExposureSeconds(seconds) : 0;
}

int CNivexaU3R5Base::SetTriggerMode(int mode, int force) {
  if (!force && mode == triggerMode_) {
    return 1;
  }
  StopCapture();
  ensureFrameReadyEvent();
  if (!sensor_ || !sensor_->SetTriggerMode(mode)) {
    return 0;
  }
  if (mode >= kTriggerFirstMode && mode <= kTriggerLastMode) {
    ReadFrameCounterTag();
  }
  triggerMode_ = mode;
  return 1;
}

int CNivexaU3R5Base::ReadFrameCounterTag() {
  uint8_t value = 0;
  if (!controller_ || !controller_->ReadFpgaRegister(fpga::kFrameCounter, value)) {
    return 0;
  }
  lastFrameTag_ = value;
  return 1;
}

int CNivexaU3R5Base::WriteEepromByte(uint16_t address, uint8_t value) {
  return controller_ ? controller_->WriteEepromByte(address, value) : 0;
}

int CNivexaU3R5Base::ReadEepromByte(uint16_t address, uint8_t& value) {
  return controller_ ? controller_->ReadEepromByte(address, value) : 0;
}

int CNivexaU3R5Base::WriteEepromUserByte(uint8_t value) {
  return WriteEepromByte(kEepromUserByteAddress, value);
}

int CNivexaU3R5Base::ReadEepromUserByte(uint8_t& value) {
  return ReadEepromByte(kEepromUserByteAddress, value);
}

int CNivexaU3R5Base::WriteFpgaRegister(int address, int value) {
  if (!controller_ || productHas(family::kAlternativeStreaming)) {
    return 0;
  }
  return controller_->WriteFpgaRegister(static_cast<uint8_t>(address), static_cast<uint8_t>(value));
}

int CNivexaU3R5Base::ReadFpgaRegister(int address, int* ok) {
  uint8_t value = 0;
  const bool done =
      controller_ && controller_->ReadFpgaRegister(static_cast<uint8_t>(address), value);
  if (ok != nullptr) {
    *ok = done ? 1 : 0;
  }
  return done ? value : 0;
}

int CNivexaU3R5Base::WaitFpgaReady(uint32_t milliseconds) {
  if (!controller_) {
    return 0;
  }
  const uint32_t start = platform::tickCount();
  do {
    uint8_t state = 0;
    if (controller_->ReadFpgaRegister(fpga::kBusState, state) && (state & fpga::kBusBusyBit) == 0) {
      return 1;
    }
    platform::sleepMs(1);
  } while (platform::tickCount() - start < milliseconds);
  return 0;
}

int CNivexaU3R5Base::SerialWriteWhenReady(uint32_t address, uint32_t value) {
  if (!sensor_ || !WaitFpgaReady(kFpgaReadyLimitMs)) {
    return 0;
  }
  return sensor_->WriteSensorRegister(static_cast<uint16_t>(address), static_cast<uint8_t>(value));
}

int CNivexaU3R5Base::SerialReadWhenReady(uint32_t address, int* ok) {
  uint8_t value = 0;
  const bool done = sensor_ && WaitFpgaReady(kFpgaReadyLimitMs) &&
                    sensor_->ReadSensorRegister(static_cast<uint16_t>(address), &value);
  if (ok != nullptr) {
    *ok = done ? 1 : 0;
  }
  return done ? value : 0;
}

int CNivexaU3R5Base::InternalCorrectionSupported() {
  if (productHas(family::kInternalCorrection)) {
    return 1;
  }
  return sensor_ ? sensor_->InternalCorrectionCapability() : 0;
}

int CNivexaU3R5Base::GetInternalCorrection() {
  uint8_t control = 0;
  if (!controller_ || !controller_->ReadFpgaRegister(fpga::kCorrectionControl, control)) {
    return 0;
  }
  return control & 1;
}

int CNivexaU3R5Base::SetInternalCorrection(int on) {
  if (!InternalCorrectionSupported() || !controller_) {
    return 0;
  }
  const bool wanted = on != 0;
  if ((GetInternalCorrection() != 0) == wanted) {
    return 1;
  }
  uint8_t control = 0;
  if (!controller_->ReadFpgaRegister(fpga::kCorrectionControl, control)) {
    return 0;
  }
  control = wanted ? static_cast<uint8_t>(control | 1) : static_cast<uint8_t>(control & ~1);
  return controller_->WriteFpgaRegister(fpga::kCorrectionControl, control);
}

int CNivexaU3R5Base::InternalCorrectionLevelSupported() {
  return productHas(family::kCorrectionLevel) ? InternalCorrectionSupported() : 0;
}

int CNivexaU3R5Base::SetInternalCorrectionLevel(uint16_t level) {
  if (!controller_) {
    return 0;
  }
  return controller_->WriteFpgaRegister(fpga::kCorrectionLevelLow,
                                        static_cast<uint8_t>(level & 0xFF)) &&
                 controller_->WriteFpgaRegister(fpga::kCorrectionLevelHigh,
                                                static_cast<uint8_t>(level >> 8))
             ? 1
             : 0;
}

int CNivexaU3R5Base::GetInternalCorrectionLevel(int* level) {
  uint8_t low = 0;
  uint8_t high = 0;
  if (!controller_ || !controller_->ReadFpgaRegister(fpga::kCorrectionLevelLow, low) ||
      !controller_->ReadFpgaRegister(fpga::kCorrectionLevelHigh, high)) {
    return 0;
  }
  if (level != nullptr) {
    *level = low | high << 8;
  }
  return 1;
}

int CNivexaU3R5Base::Reserved140() {
  InternalCorrectionLevelSupported();
  return 0;
}

int CNivexaU3R5Base::InternalCorrectionLevelMax() {
  return productHas(family::kCorrectionLevel) ? kCorrectionLevelMax : 0;
}

int CNivexaU3R5Base::ReadFpgaDieTemperature(double* celsius) {
  uint8_t low = 0;
  uint8_t high = 0;
  if (!HasFpgaTemperatureMonitor() || !controller_ ||
      !controller_->ReadFpgaRegister(fpga::kDieTemperatureLow, low) ||
      !controller_->ReadFpgaRegister(fpga::kDieTemperatureHigh, high)) {
    return 0;
  }
  if (celsius != nullptr) {
    *celsius = static_cast<double>(low | high << 8) * kDieTemperatureFullScaleKelvin /
                   kDieTemperatureCounts -
               kKelvinAtZeroCelsius;
  }
  return 1;
}

}  // namespace nivexa::engine

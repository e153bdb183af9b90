#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "camera/CNivexa.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Text.h"

namespace nivexa::camera {

namespace {

constexpr int32_t kSerialNumberBufferBytes = 32;
constexpr size_t kLocalNameBytes = 256;
constexpr size_t kLocalTextChars = 1024;
constexpr uint16_t kSerialNumberAddress = 0x1040;
constexpr uint32_t kSerialByteWaitMs = 10;
constexpr int32_t kMinNameBufferBytes = 17;  // the 16 characters of a name and the terminator

// "NivexaM7QXTEC_01" for the first camera.
void formatDeviceName(char* out, size_t size, int32_t number) {
  std::snprintf(out, size, "%s_%02d", kDeviceNameStem, static_cast<int>(number));
}

// Copies converted text into a caller's wide buffer of `size` characters, terminator included;
// false (nothing written) when it does not fit or is empty, as the conversion reports.
bool copyWide(const std::optional<std::wstring>& text, wchar_t* buffer, int32_t size) {
  if (!text || buffer == nullptr || size <= 0 || text->size() + 1 > static_cast<size_t>(size)) {
    return false;
  }
  std::copy(text->begin(), text->end(), buffer);
  buffer[text->size()] = L'\0';
  return true;
}

}  // namespace

int CNivexa::EnumDevice(char (*names)[256]) {
  if (!RequireEngine()) {
    return 0;
  }
  int written = 0;
  const int count = engine_->CountDevices(productId_);
  for (int j = 0; j < count && written < kMaxListedDevices; ++j) {
    if (engine_->IsDeviceNumberValid(j)) {
      if (names != nullptr) {
        formatDeviceName(names[written], kLocalNameBytes, written + 1);
      }
      ++written;
    }
  }
  for (int i = written; names != nullptr && i < kMaxListedDevices; ++i) {
    names[i][0] = '\0';
  }
  return written;
}

int CNivexa::EnumDeviceW(wchar_t (*names)[256]) {
  char narrow[kMaxListedDevices][256] = {};
  const int count = EnumDevice(narrow);
  if (names == nullptr) {
    return count;
  }
  for (int i = 0; i < kMaxListedDevices; ++i) {
    // The list goes through the process's code page, the single names through the thread's.
    const auto wide = i < count
                          ? platform::narrowToWide(narrow[i], 256, platform::CodePage::Process)
                          : std::nullopt;
    if (!copyWide(wide, names[i], 256)) {
      names[i][0] = L'\0';
    }
  }
  return count;
}

int CNivexa::GetDeviceName(int32_t index, char* buffer, int32_t size) {
  if (!RequireEngine()) {
    return 0;
  }
  if (buffer == nullptr || size < kMinNameBufferBytes) {
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  if (index < 0 || index >= engine_->MaxDeviceCount() || !engine_->IsDeviceNumberValid(index)) {
    RecordError(NIVEXA_ERR_DEVICE);
    return 0;
  }
  formatDeviceName(buffer, static_cast<size_t>(size), index + 1);
  return 1;
}

int CNivexa::GetDeviceNameW(int32_t index, wchar_t* buffer, int32_t size) {
  // A failed lookup (its reason already recorded) still leaves an empty, terminated name for a
  // caller that ignores the result, but it is a failure: success with an empty name would read
  // as a camera without one.
  char narrow[kLocalNameBytes] = {};
  const int found = GetDeviceName(index, narrow, static_cast<int32_t>(sizeof narrow));
  if (!copyWide(platform::narrowToWide(narrow, kLocalTextChars), buffer, size)) {
    RecordError(NIVEXA_ERR_TEXT);
    return 0;
  }
  return found != 0 ? 1 : 0;
}

int CNivexa::SetDeviceNumber(int32_t number) {
  AcquisitionGuard command(*this);
  if (!RequireEngine()) {
    return 0;
  }
  // Only an open camera has settings of its own to keep; a device that failed to open leaves
  // only its driver's defaults, which must not become the stored values of that position.
  if (settingsFlag_.exchange(1) != 0 && currentDevice_ >= 0) {
    SaveDeviceSettings();
  }
  if (!engine_->IsDeviceNumberValid(number)) {
    RecordError(NIVEXA_ERR_DEVICE);
    return 0;
  }
  if (number == currentDevice_ && !deviceLost_) {
    return 1;
  }
  // A stream never outlives the device it was prepared for.
  if (mode_ != 0) {
    StopPreview();
  }
  if (!engine_->CreateSensor(number)) {
    RecordError(NIVEXA_ERR_DEVICE);
    return 0;
  }
  // References of another sensor would correct the wrong pixels; the old ones are of no use.
  if (!FitMaskToSensor()) {
    RecordError(NIVEXA_ERR_MEMORY);
    return 0;
  }
  LoadDeviceSettings();
  ApplyAnalogSettings();
  // A colour mode chosen before any camera was open (or stored for another one) is one this
  // sensor may not deliver; the stream would then fail at every start. Fall back to 8 bits.
  const int32_t mode = colorMode_;
  const bool colour = mode >= 2;
  const bool monochromeOnly = mode == 0 || mode == 3;
  if ((colour && !engine_->AcceptsColourFormats()) ||
      (monochromeOnly && !engine_->AcceptsMonochromeFormats())) {
    colorMode_ = engine_->AcceptsMonochromeFormats() ? 0 : 1;
  }
  currentDevice_ = number;
  deviceLost_ = 0;
  NIVEXA_LOG(Camera, Info, "device %d opened", number);
  return 1;
}

void CNivexa::ApplyAnalogSettings() {
  engine_->SetAnalogGain(analog_.globalGain);
  engine_->SetColourGainGreen1(analog_.colourGainGreen1);
  engine_->SetColourGainRed(analog_.colourGainRed);
  engine_->SetColourGainBlue(analog_.colourGainBlue);
  engine_->SetColourGainGreen2(analog_.colourGainGreen2);
  if (engine_->ExposureSecondsSupported()) {
    engine_->SetExposureSeconds(analog_.exposureSeconds);
  } else {
    engine_->SetExposureTicks(analog_.exposureTicks);
  }
  engine_->SetMirrorV(params_.mirrorV);
  engine_->SetMirrorH(params_.mirrorH);
  if (engine_->BlackLevelSupported()) {
    engine_->SetBlackLevel(analog_.blackLevel);
  }
  if (engine_->HasCooling()) {
    engine_->SetCooling(1);
    analog_.cooling = 1;
  }
  if (engine_->FeatureSwitchSupported()) {
    engine_->SetFeatureSwitch(0);
    analog_.featureSwitch = 0;
  }
  if (engine_->HasGainMode()) {
    engine_->SetGainMode(analog_.gainMode);
  }
}

int CNivexa::ReadSerialNumberA(char* buffer, int32_t size) {
  if (buffer == nullptr || size < kSerialNumberBufferBytes) {
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  if (!RequireEngine()) {
    return 0;
  }
  char text[kSerialNumberBufferBytes] = {};
  int read = 0;
  for (; read < kSerialNumberBufferBytes; ++read) {
    uint8_t byte = 0;
    if (!engine_->ReadEepromByte(static_cast<uint16_t>(kSerialNumberAddress + read), byte)) {
      if (read == 0) {
        return 0;
      }
      break;
    }
    if (byte == 0xFF) {
      break;
    }
    text[read] = static_cast<char>(byte);
    platform::sleepMs(kSerialByteWaitMs);
  }
  if (text[0] == '\0') {
    // Nothing programmed: the caller's buffer keeps what it held.
    return 1;
  }
  text[kSerialNumberBufferBytes - 1] = '\0';
  std::memcpy(buffer, text, std::strlen(text) + 1);
  return 1;
}

int CNivexa::ReadSerialNumberW(wchar_t* buffer, int32_t size) {
  char narrow[kLocalTextChars] = {};
  if (!ReadSerialNumberA(narrow, static_cast<int32_t>(sizeof narrow))) {
    return 0;
  }
  if (!copyWide(platform::narrowToWide(narrow, kLocalTextChars), buffer, size)) {
    RecordError(NIVEXA_ERR_TEXT);
    return 0;
  }
  return 1;
}

// The caller's record may be only as long as its size field says: nothing beyond it is touched.
int CNivexa::GetCameraInfo(NivexaCameraInfo* info) {
  if (!RequireEngine()) {
    return 0;
  }
  std::lock_guard command(commandLock_);
  if (info == nullptr) {
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  const int32_t size = info->size;
  if (size < kCameraInfoShortSize) {
    RecordError(NIVEXA_ERR_MEMORY);
    return 0;
  }
  const engine::ArraySize sensor = SensorSize();
  info->widthLimit = sensor.width;
  info->heightLimit = sensor.height;
  info->globalGainMin = engine_->GetAnalogGainMin();
  info->globalGainMax = engine_->GetAnalogGainMax();
  info->colorGainMin = engine_->GetColourGainMin();
  info->colorGainMax = engine_->GetColourGainMax();
  info->exposureMin = engine_->GetExposureTicksMin();
  info->exposureMax = engine_->GetExposureTicksMax();
  if (size >= kCameraInfoFullSize) {
    double minimum = 0.0;
    double maximum = 0.0;
    engine_->GetExposureSecondsMin(&minimum);
    engine_->GetExposureSecondsMax(&maximum);
    info->exposureSecondsMin = minimum;
    info->exposureSecondsMax = maximum;
  }
  return 1;
}

}  // namespace nivexa::camera

#include <algorithm>
#include <cstring>

#include "camera/CNivexa.h"
#include "platform/Text.h"

namespace nivexa::camera {

namespace {

constexpr int32_t kSerialNumberBufferBytes = 32;
constexpr size_t kLocalNameBytes = 256;
constexpr size_t kLocalTextChars = 1024;

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

int CNivexa::EnumDevice(char (*)[256]) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

int CNivexa::EnumDeviceW(wchar_t (*names)[256]) {
  char narrow[10][256] = {};
  const int count = EnumDevice(narrow);
  if (count == 0 || names == nullptr) {
    return count;
  }
  for (int i = 0; i < 10; ++i) {
    // The list goes through the process's code page, the single names through the thread's.
    const auto wide = i < count ? platform::narrowToWide(narrow[i], 256, platform::CodePage::Process)
                                : std::nullopt;
    if (!copyWide(wide, names[i], 256)) {
      names[i][0] = L'\0';
    }
  }
  return count;
}

int CNivexa::GetDeviceName(int32_t, char*, int32_t) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

int CNivexa::GetDeviceNameW(int32_t index, wchar_t* buffer, int32_t size) {
  // The narrow lookup's failure is already recorded; the wide form still answers with the
  // (then empty) name, as a conversion of an empty text succeeds.
  char narrow[kLocalNameBytes] = {};
  GetDeviceName(index, narrow, static_cast<int32_t>(sizeof narrow));
  if (!copyWide(platform::narrowToWide(narrow, kLocalTextChars), buffer, size)) {
    RecordError(NIVEXA_ERR_TEXT);
    return 0;
  }
  return 1;
}

int CNivexa::SetDeviceNumber(int32_t) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

int CNivexa::ReadSerialNumberA(char* buffer, int32_t size) {
  if (buffer == nullptr || size < kSerialNumberBufferBytes) {
    RecordError(NIVEXA_ERR_ARGUMENT);
    return 0;
  }
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
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

int CNivexa::GetCameraInfo(NivexaCameraInfo*) {
  if (!RequireEngine()) {
    return 0;
  }
  return 0;
}

}  // namespace nivexa::camera

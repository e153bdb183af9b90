#include "platform/Text.h"

#include <cwchar>

namespace nivexa::platform {

std::optional<std::string> wideToNarrow(const wchar_t* text, size_t capacityBytes) {
  if (text == nullptr) {
    return std::nullopt;
  }
  std::mbstate_t state{};
  const wchar_t* source = text;
  const size_t length = std::wcsrtombs(nullptr, &source, 0, &state);
  if (length == static_cast<size_t>(-1) || length + 1 > capacityBytes) {
    return std::nullopt;
  }
  std::string result(length, '\0');
  state = std::mbstate_t{};
  source = text;
  std::wcsrtombs(result.data(), &source, length, &state);
  return result;
}

std::optional<std::wstring> narrowToWide(const char* text, size_t capacityChars) {
  if (text == nullptr) {
    return std::nullopt;
  }
  std::mbstate_t state{};
  const char* source = text;
  const size_t length = std::mbsrtowcs(nullptr, &source, 0, &state);
  if (length == static_cast<size_t>(-1) || length + 1 > capacityChars) {
    return std::nullopt;
  }
  std::wstring result(length, L'\0');
  state = std::mbstate_t{};
  source = text;
  std::mbsrtowcs(result.data(), &source, length, &state);
  return result;
}

}  // namespace nivexa::platform

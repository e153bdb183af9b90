#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace nivexa::platform {

// Conversions between the platform's wide text and narrow text in the calling thread's locale
// (its LC_CTYPE, set with setlocale or uselocale), which stands in for the thread's ANSI code
// page. Both fail (nullopt) when a character has no representation or when the result with its
// terminating zero would not fit the given capacity (bytes, or wide characters).
std::optional<std::string> wideToNarrow(const wchar_t* text, size_t capacityBytes);
std::optional<std::wstring> narrowToWide(const char* text, size_t capacityChars);

}  // namespace nivexa::platform

#include "platform/Text.h"

#include <windows.h>

namespace nivexa::platform {

namespace {

UINT windowsCodePage(CodePage codePage) {
  return codePage == CodePage::Thread ? CP_THREAD_ACP : CP_ACP;
}

// A character the code page cannot hold would otherwise come out as '?' or a look-alike, and a
// path with a '?' in it names a different file (or none).
int narrowLength(UINT codePage, const wchar_t* text, char* out, int outBytes, bool& lossy) {
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text, -1, out, outBytes, nullptr,
                              &usedDefault);
  if (n == 0 && GetLastError() == ERROR_INVALID_PARAMETER) {
    // UTF-8 as the ANSI code page takes neither flag nor default-character report; it has
    // every character, and invalid input (lone surrogates) is refused by this flag instead.
    usedDefault = FALSE;
    n = WideCharToMultiByte(codePage, WC_ERR_INVALID_CHARS, text, -1, out, outBytes, nullptr,
                            nullptr);
  }
  lossy = usedDefault != FALSE;
  return n;
}

}  // namespace

std::optional<std::string> wideToNarrow(const wchar_t* text, size_t capacityBytes,
                                        CodePage codePage) {
  if (text == nullptr) {
    return std::nullopt;
  }
  const UINT cp = windowsCodePage(codePage);
  bool lossy = false;
  const int withTerminator = narrowLength(cp, text, nullptr, 0, lossy);
  if (withTerminator <= 0 || lossy || static_cast<size_t>(withTerminator) > capacityBytes) {
    return std::nullopt;
  }
  std::string result(static_cast<size_t>(withTerminator), '\0');
  if (narrowLength(cp, text, result.data(), withTerminator, lossy) != withTerminator || lossy) {
    return std::nullopt;
  }
  result.resize(static_cast<size_t>(withTerminator) - 1);
  return result;
}

std::optional<std::wstring> narrowToWide(const char* text, size_t capacityChars,
                                         CodePage codePage) {
  if (text == nullptr) {
    return std::nullopt;
  }
  const UINT cp = windowsCodePage(codePage);
  const int withTerminator = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (withTerminator <= 0 || static_cast<size_t>(withTerminator) > capacityChars) {
    return std::nullopt;
  }
  std::wstring result(static_cast<size_t>(withTerminator), L'\0');
  if (MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text, -1, result.data(), withTerminator) !=
      withTerminator) {
    return std::nullopt;
  }
  result.resize(static_cast<size_t>(withTerminator) - 1);
  return result;
}

// CP_THREAD_ACP follows the thread locale; Japanese (0x0411) has code page 932.
JapaneseThreadText::JapaneseThreadText() {
  const LCID previous = GetThreadLocale();
  if (SetThreadLocale(MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT))) {
    previous_ = reinterpret_cast<void*>(static_cast<uintptr_t>(previous));
    available_ = true;
  }
}

JapaneseThreadText::~JapaneseThreadText() {
  if (available_) {
    SetThreadLocale(static_cast<LCID>(reinterpret_cast<uintptr_t>(previous_)));
  }
}

}  // namespace nivexa::platform

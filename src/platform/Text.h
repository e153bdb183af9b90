#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace nivexa::platform {

// Which ANSI code page narrow text is in: the calling thread's (CP_THREAD_ACP; on Linux the
// thread's LC_CTYPE, set with uselocale) or the process's (CP_ACP; on Linux the global locale).
enum class CodePage { Thread, Process };

// Conversions between the platform's wide text and narrow text in one of those code pages. Both
// fail (nullopt) when a character has no representation or when the result with its terminating
// zero would not fit the given capacity (bytes, or wide characters).
std::optional<std::string> wideToNarrow(const wchar_t* text, size_t capacityBytes,
                                        CodePage codePage = CodePage::Thread);
std::optional<std::wstring> narrowToWide(const char* text, size_t capacityChars,
                                         CodePage codePage = CodePage::Thread);

// For the calling thread's lifetime of the guard, narrow text in CodePage::Thread is in an
// encoding that has Japanese (UTF-8 on Linux, code page 932 on Windows), as for a user whose
// language is Japanese. available() is false when the system has no such locale.
class JapaneseThreadText {
 public:
  JapaneseThreadText();
  ~JapaneseThreadText();
  JapaneseThreadText(const JapaneseThreadText&) = delete;
  JapaneseThreadText& operator=(const JapaneseThreadText&) = delete;
  bool available() const { return available_; }

 private:
  bool available_ = false;
  void* previous_ = nullptr;
  void* own_ = nullptr;
};

}  // namespace nivexa::platform

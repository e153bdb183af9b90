#include "platform/Text.h"

#include <clocale>
#include <cwchar>

namespace nivexa::platform {

namespace {

// CodePage::Process reads the global locale even on a thread that chose its own.
class UseCodePage {
 public:
  explicit UseCodePage(CodePage codePage)
      : previous_(codePage == CodePage::Process ? uselocale(LC_GLOBAL_LOCALE) : nullptr) {}
  ~UseCodePage() {
    if (previous_ != nullptr) {
      uselocale(previous_);
    }
  }
  UseCodePage(const UseCodePage&) = delete;
  UseCodePage& operator=(const UseCodePage&) = delete;

 private:
  locale_t previous_;
};

}  // namespace

std::optional<std::string> wideToNarrow(const wchar_t* text, size_t capacityBytes,
                                        CodePage codePage) {
  if (text == nullptr) {
    return std::nullopt;
  }
  UseCodePage scope(codePage);
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

std::optional<std::wstring> narrowToWide(const char* text, size_t capacityChars,
                                         CodePage codePage) {
  if (text == nullptr) {
    return std::nullopt;
  }
  UseCodePage scope(codePage);
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

JapaneseThreadText::JapaneseThreadText() {
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (utf8 != nullptr) {
    own_ = utf8;
    previous_ = uselocale(utf8);
    available_ = true;
  }
}

JapaneseThreadText::~JapaneseThreadText() {
  if (own_ != nullptr) {
    uselocale(static_cast<locale_t>(previous_));
    freelocale(static_cast<locale_t>(own_));
  }
}

}  // namespace nivexa::platform

#include "platform/Locale.h"

#include <windows.h>

namespace nivexa::platform {

namespace {
constexpr LANGID kJapanese = 1041;
}

bool japaneseLanguage() {
  return GetSystemDefaultLangID() == kJapanese;
}

}  // namespace nivexa::platform

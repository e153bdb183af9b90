#include "platform/Locale.h"

#include <clocale>
#include <cstdlib>
#include <string_view>

namespace nivexa::platform {

namespace {

bool isJapanese(const char* name) {
  return name != nullptr && std::string_view(name).starts_with("ja");
}

bool unset(const char* name) {
  const std::string_view text = name != nullptr ? name : "";
  return text.empty() || text == "C" || text == "POSIX";
}

}  // namespace

bool japaneseLanguage() {
  const char* current = std::setlocale(LC_MESSAGES, nullptr);
  if (!unset(current)) {
    return isJapanese(current);
  }
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') {
      return isJapanese(value);
    }
  }
  return false;
}

}  // namespace nivexa::platform

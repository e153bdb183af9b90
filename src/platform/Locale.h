#pragma once

namespace nivexa::platform {

// Whether the user's language is Japanese: on Windows the system default language (1041), on
// Linux the process's message locale, or when the process never set one, the environment a
// setlocale(LC_ALL, "") would read (LC_ALL, LC_MESSAGES, LANG).
bool japaneseLanguage();

}  // namespace nivexa::platform

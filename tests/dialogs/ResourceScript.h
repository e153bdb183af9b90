#pragma once

#include <string>

namespace nivexa::dialogs::test {

// The Windows resource script of every dialog template in both languages, made from the dialog
// models themselves: the templates carry the same ids, texts and layout as the models (and so as
// the GTK view).
std::string resourceScript();

}  // namespace nivexa::dialogs::test

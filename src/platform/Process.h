#pragma once

#include <string>
#include <string_view>

namespace nivexa::platform {

// Directory of the running program's executable, with its trailing separator; empty when the
// OS does not tell.
std::string mainModuleDirectory();

// A line for a debugger or system log; never shown to the user.
void debugOutput(std::string_view text);

}  // namespace nivexa::platform

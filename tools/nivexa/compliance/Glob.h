#pragma once

#include <string_view>

namespace nivexa::compliance {

// Shell-style name match: `*` any run of characters (also none), `?` any one character,
// everything else itself.
bool globMatch(std::string_view pattern, std::string_view name);

}  // namespace nivexa::compliance

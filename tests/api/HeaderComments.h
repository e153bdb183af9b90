#pragma once

#include <string>
#include <vector>

namespace nivexa::api::testing {

// A declaration of a public header without its comment: where it starts and its first line.
struct Undocumented {
  int line = 0;
  std::string text;
};

// Every declaration of a C header (function, type, struct or enum member, macro other than the
// include guard) must carry a comment: one that ends on the line right above it, or one that
// starts after code on one of its own lines. A comment separated by a blank line heads a group
// and documents nothing by itself.
std::vector<Undocumented> undocumentedDeclarations(const std::string& header);

}  // namespace nivexa::api::testing

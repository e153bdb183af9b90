#include "Glob.h"

namespace nivexa::compliance {

// Greedy with one backtrack point: on a mismatch the last `*` takes one more character. That
// is enough for `*` and `?` alone and never goes exponential.
bool globMatch(std::string_view pattern, std::string_view name) {
  size_t p = 0;
  size_t n = 0;
  size_t starAt = std::string_view::npos;
  size_t resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starAt = p++;
      resumeAt = n;
    } else if (starAt != std::string_view::npos) {
      p = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') {
    ++p;
  }
  return p == pattern.size();
}

}  // namespace nivexa::compliance

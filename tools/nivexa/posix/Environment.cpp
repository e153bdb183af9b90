#include "Environment.h"

#include <stdlib.h>

namespace nivexa::tool {

bool setEnvironment(const char* name, const char* value) {
  constexpr int kOverwrite = 1;
  return setenv(name, value, kOverwrite) == 0;
}

}  // namespace nivexa::tool

#include "Environment.h"

#include <stdlib.h>

namespace nivexa::tool {

// The C runtime's copy of the environment is the one the library's getenv reads.
bool setEnvironment(const char* name, const char* value) {
  return _putenv_s(name, value) == 0;
}

}  // namespace nivexa::tool

// The one change the tool makes to its own environment: asking the library for a virtual
// camera. The library reads the variable itself; the public interface has no call for it.
#pragma once

namespace nivexa::tool {

// Sets a variable of this process's environment; false when the system refuses.
bool setEnvironment(const char* name, const char* value);

}  // namespace nivexa::tool

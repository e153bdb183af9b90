#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nivexa::platform {

// The hidden name the atomic writer gives its temporary for a target named `base`:
// `.<base>.<process id>.<sequence>.tmp`, the same on every OS so that any process can tell
// whose a leftover is.
std::string temporaryName(std::string_view base, uint64_t processId, uint32_t sequence);

// The process id in a name temporaryName() gives, or 0 for any other name.
uint64_t temporaryOwner(std::string_view name);

}  // namespace nivexa::platform

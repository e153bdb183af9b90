#pragma once

#include <string_view>

namespace nivexa::platform::regtext {

// The property every input must keep: parsing never crashes, and whatever parses is written
// out as text that parses back to the same document and is written again byte for byte.
bool registryTextRoundTrips(std::string_view input);

}  // namespace nivexa::platform::regtext

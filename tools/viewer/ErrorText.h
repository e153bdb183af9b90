#pragma once

#include <cstdint>
#include <string>

namespace nivexa::viewer {

// What a Nivexa error code means, in a few words for the window's message line.
const char* errorMeaning(int32_t code);
// "error <code>: <meaning>".
std::string describeError(int32_t code);

}  // namespace nivexa::viewer

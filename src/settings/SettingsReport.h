#pragma once

#include <string>

namespace nivexa::settings {

// Every camera position's stored settings as readable text, one value per line, for the
// command-line tool.
std::string describeStoredSettings();

// Removes the stored settings of every camera position (the capture-size presets of the
// product stay). Returns the number of positions removed, or -1 when the store cannot be
// written.
int resetStoredSettings();

}  // namespace nivexa::settings

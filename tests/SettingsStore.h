#pragma once

#include <filesystem>

namespace nivexa::test {

// Gives this process a settings store of its own, empty, so that tests neither see what other
// tests (or the person running them) saved nor leave anything behind: the file store at `file`;
// on Windows, where settings live in the registry, a fresh key that stands in for the current
// user's. False when that is not possible.
bool useFreshSettingsStore(const std::filesystem::path& file);
// Back to the store the process had, removing what the fresh one held.
void restoreSettingsStore();

}  // namespace nivexa::test

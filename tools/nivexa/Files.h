// Checks on the files the tool is asked to write, made before the library writes them, so that
// a refusal names the system's reason.
#pragma once

#include <span>
#include <string>

namespace nivexa::tool {

// Why `path` cannot be written, in the system's words ("Permission denied", "No such file or
// directory", "is a directory"); empty when it can. Leaves no file behind that was not there.
std::string whyNotWritable(const std::string& path);

// Why `path` cannot be read, in the system's words; empty when it can.
std::string whyNotReadable(const std::string& path);

// Empty when the extension of `path` is one of `extensions` (with the dot, any case) or there is
// none; else the reason, naming what the extension stands for and what would be written.
std::string extensionMismatch(const std::string& path, std::span<const char* const> extensions,
                              const char* written);

}  // namespace nivexa::tool

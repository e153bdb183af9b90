#include "Files.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace nivexa::tool {

std::string whyNotWritable(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const auto status = fs::status(path, error);
  if (fs::is_directory(status)) {
    return "is a directory";
  }
  const bool existed = fs::exists(status);
  // Opening for appending is how the system itself says whether the file may be written; it
  // changes nothing in a file that is there.
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) {
    const int code = errno;
    return code != 0 ? std::generic_category().message(code) : "cannot be opened";
  }
  std::fclose(file);
  if (!existed) {
    fs::remove(path, error);
  }
  return "";
}

std::string whyNotReadable(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    return "is a directory";
  }
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    const int code = errno;
    return code != 0 ? std::generic_category().message(code) : "cannot be opened";
  }
  std::fclose(file);
  return "";
}

std::string extensionMismatch(const std::string& path, std::span<const char* const> extensions,
                              const char* written) {
  std::string extension = std::filesystem::path(path).extension().string();
  if (extension.empty()) {
    return "";
  }
  for (char& c : extension) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  for (const char* allowed : extensions) {
    if (extension == allowed) {
      return "";
    }
  }
  return "the extension " + extension + " does not name " + written +
         " (choose a matching name, or --force)";
}

}  // namespace nivexa::tool

#pragma once

#include <memory>
#include <string>

namespace nivexa::platform {

// A shared library loaded at run time. Closing happens when the object goes; code that keeps
// toolkit state alive for the rest of the process keeps the object for the rest of the process.
class DynamicLibrary {
 public:
  // The library at `path`, or nullptr; `error` receives the loader's reason.
  static std::unique_ptr<DynamicLibrary> open(const std::string& path, std::string& error);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // The address of an exported data or function symbol, or nullptr.
  void* symbol(const char* name) const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

// The platform's file name of a shared library called `stem` ("libX.so", "X.dll").
std::string sharedLibraryName(const std::string& stem);

// The folder of the module (shared library or program) that contains this code, with a
// trailing separator; empty when it cannot be told.
std::string ownModuleFolder();

}  // namespace nivexa::platform

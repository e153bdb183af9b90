#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace nivexa::platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const std::string& path, std::string& error) {
  // RTLD_LOCAL: the module's own dependencies (a GUI toolkit) never satisfy symbols of others.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "dlopen failed";
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() {
  dlclose(handle_);
}

void* DynamicLibrary::symbol(const char* name) const {
  return dlsym(handle_, name);
}

std::string sharedLibraryName(const std::string& stem) {
  return "lib" + stem + ".so";
}

std::string ownModuleFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ownModuleFolder), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  const std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace nivexa::platform

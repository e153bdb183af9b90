#include "platform/DialogView.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "platform/DynamicLibrary.h"
#include "platform/Log.h"

namespace nivexa::platform {

namespace {

constexpr const char* kModuleStem = "NivexaSdkDialogs";
// Distribution packages keep the module out of the loader's folders, in one of the SDK's own
// beside the library.
constexpr const char* kPrivateFolder = "nivexa-sdk/";

struct LoadedModule {
  std::unique_ptr<DynamicLibrary> library;
  const NivexaDialogModuleInfo* info = nullptr;
};

std::unique_ptr<DynamicLibrary> openModule() {
  std::string error;
  if (const char* path = std::getenv("NIVEXA_DIALOG_MODULE"); path != nullptr && *path != '\0') {
    auto library = DynamicLibrary::open(path, error);
    if (!library) {
      NIVEXA_LOG(Dialogs, Warning, "dialog module %s: %s", path, error.c_str());
    }
    return library;
  }
  const std::string name = sharedLibraryName(kModuleStem);
  const std::string beside = ownModuleFolder() + name;
  if (auto library = DynamicLibrary::open(beside, error)) {
    return library;
  }
  NIVEXA_LOG(Dialogs, Info, "dialog module %s: %s", beside.c_str(), error.c_str());
  const std::string privateCopy = ownModuleFolder() + kPrivateFolder + name;
  if (auto library = DynamicLibrary::open(privateCopy, error)) {
    return library;
  }
  NIVEXA_LOG(Dialogs, Info, "dialog module %s: %s", privateCopy.c_str(), error.c_str());
  auto library = DynamicLibrary::open(name, error);
  if (!library) {
    NIVEXA_LOG(Dialogs, Warning, "dialog module %s: %s", name.c_str(), error.c_str());
  }
  return library;
}

// Loaded once and kept for the rest of the process: a GUI toolkit cannot be unloaded safely. A
// failed load is tried again at the next dialog (the module may be installed meanwhile).
const NivexaDialogModuleInfo* dialogModule() {
  static std::mutex lock;
  static LoadedModule module;
  std::lock_guard guard(lock);
  if (module.info != nullptr) {
    return module.info;
  }
  auto library = openModule();
  if (!library) {
    return nullptr;
  }
  const auto* info =
      static_cast<const NivexaDialogModuleInfo*>(library->symbol(NIVEXA_DIALOG_MODULE_SYMBOL));
  if (info == nullptr) {
    NIVEXA_LOG(Dialogs, Warning, "dialog module without %s", NIVEXA_DIALOG_MODULE_SYMBOL);
    return nullptr;
  }
  if (info->apiVersion != NIVEXA_DIALOG_API_VERSION || info->run == nullptr) {
    NIVEXA_LOG(Dialogs, Warning, "dialog module of interface version %u, expected %u",
               info->apiVersion, NIVEXA_DIALOG_API_VERSION);
    return nullptr;
  }
  module.library = std::move(library);
  module.info = info;
  return info;
}

}  // namespace

int32_t showDialogView(const NivexaDialogHost& host, uintptr_t parent) {
  const NivexaDialogModuleInfo* module = dialogModule();
  if (module == nullptr) {
    return NIVEXA_DIALOG_NO_VIEW;
  }
  return module->run(&host, parent);
}

}  // namespace nivexa::platform

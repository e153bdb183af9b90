#include "dialogs/DialogRunner.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "dialogs/DialogModule.h"
#include "platform/DynamicLibrary.h"
#include "platform/Log.h"

namespace nivexa::dialogs {

namespace {

constexpr const char* kModuleStem = "NivexaSdkDialogs";

struct LoadedModule {
  std::unique_ptr<platform::DynamicLibrary> library;
  const NivexaDialogModuleInfo* info = nullptr;
};

std::unique_ptr<platform::DynamicLibrary> openModule() {
  std::string error;
  if (const char* path = std::getenv("NIVEXA_DIALOG_MODULE"); path != nullptr && *path != '\0') {
    auto library = platform::DynamicLibrary::open(path, error);
    if (!library) {
      NIVEXA_LOG(Dialogs, Warning, "dialog module %s: %s", path, error.c_str());
    }
    return library;
  }
  const std::string name = platform::sharedLibraryName(kModuleStem);
  const std::string beside = platform::ownModuleFolder() + name;
  if (auto library = platform::DynamicLibrary::open(beside, error)) {
    return library;
  }
  NIVEXA_LOG(Dialogs, Info, "dialog module %s: %s", beside.c_str(), error.c_str());
  auto library = platform::DynamicLibrary::open(name, error);
  if (!library) {
    NIVEXA_LOG(Dialogs, Warning, "dialog module %s: %s", name.c_str(), error.c_str());
  }
  return library;
}

// Loaded once; a failed load is tried again at the next dialog (the module may be installed
// meanwhile).
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

// The host table's functions: the context is the model.
DialogModel& modelOf(void* context) {
  return *static_cast<DialogModel*>(context);
}

bool validIndex(DialogModel& model, int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < model.controls().size();
}

const char* hostCaption(void* context) {
  return modelOf(context).caption().c_str();
}

void hostFrameSize(void* context, int32_t* width, int32_t* height) {
  *width = modelOf(context).frameWidth();
  *height = modelOf(context).frameHeight();
}

int32_t hostPageCount(void* context) {
  return static_cast<int32_t>(modelOf(context).pages().size());
}

const char* hostPageTitle(void* context, int32_t page) {
  const auto& pages = modelOf(context).pages();
  return page >= 0 && static_cast<size_t>(page) < pages.size()
             ? pages[static_cast<size_t>(page)].title.c_str()
             : "";
}

void hostPageSize(void* context, int32_t page, int32_t* width, int32_t* height) {
  const auto& pages = modelOf(context).pages();
  *width = 0;
  *height = 0;
  if (page >= 0 && static_cast<size_t>(page) < pages.size()) {
    *width = pages[static_cast<size_t>(page)].width;
    *height = pages[static_cast<size_t>(page)].height;
  }
}

int32_t hostControlCount(void* context) {
  return static_cast<int32_t>(modelOf(context).controls().size());
}

void hostControl(void* context, int32_t index, NivexaDialogControl* out) {
  DialogModel& model = modelOf(context);
  *out = NivexaDialogControl{};
  if (!validIndex(model, index)) {
    out->text = "";
    return;
  }
  const Control& c = model.controls()[static_cast<size_t>(index)];
  out->page = c.page;
  out->id = c.id;
  out->kind = static_cast<int32_t>(c.kind);
  out->x = c.rect.x;
  out->y = c.rect.y;
  out->width = c.rect.width;
  out->height = c.rect.height;
  out->text = c.text.c_str();
  out->value = c.value;
  out->minimum = c.minimum;
  out->maximum = c.maximum;
  out->pageSize = c.pageSize;
  out->enabled = c.enabled ? 1 : 0;
  out->visible = c.visible ? 1 : 0;
  out->itemCount = static_cast<int32_t>(c.items.size());
}

const char* hostItem(void* context, int32_t index, int32_t item) {
  DialogModel& model = modelOf(context);
  if (!validIndex(model, index)) {
    return "";
  }
  const auto& items = model.controls()[static_cast<size_t>(index)].items;
  return item >= 0 && static_cast<size_t>(item) < items.size()
             ? items[static_cast<size_t>(item)].c_str()
             : "";
}

void hostSlide(void* context, int32_t index, int32_t position) {
  modelOf(context).slide(index, position);
}

void hostStep(void* context, int32_t index, int32_t delta) {
  modelOf(context).step(index, delta);
}

void hostType(void* context, int32_t index, const char* text) {
  modelOf(context).type(index, text != nullptr ? text : "");
}

void hostCommit(void* context, int32_t index) {
  modelOf(context).commit(index);
}

void hostClick(void* context, int32_t index) {
  modelOf(context).click(index);
}

void hostChoose(void* context, int32_t index, int32_t item) {
  modelOf(context).choose(index, item);
}

int32_t hostPress(void* context, int32_t buttonId) {
  return modelOf(context).press(buttonId) ? 1 : 0;
}

int32_t hostPoll(void* context) {
  return modelOf(context).poll() ? 1 : 0;
}

}  // namespace

RunResult runDialog(DialogModel& model, uintptr_t parent) {
  const NivexaDialogModuleInfo* module = dialogModule();
  if (module == nullptr) {
    return RunResult::Unavailable;
  }
  const NivexaDialogHost host{&model,        model.language() == Language::Japanese ? 1 : 0,
                              hostCaption,   hostFrameSize,
                              hostPageCount, hostPageTitle,
                              hostPageSize,  hostControlCount,
                              hostControl,   hostItem,
                              hostSlide,     hostStep,
                              hostType,      hostCommit,
                              hostClick,     hostChoose,
                              hostPress,     hostPoll};
  const int32_t shown = module->run(&host, parent);
  if (shown != NIVEXA_DIALOG_CLOSED) {
    NIVEXA_LOG(Dialogs, Warning, "dialog module could not show the dialog (%d)", shown);
    return RunResult::Unavailable;
  }
  // A window closed by other means than its buttons counts as Cancel.
  if (model.result() == 0) {
    model.press(2);
  }
  return RunResult::Closed;
}

}  // namespace nivexa::dialogs

#include "dialogs/DialogRunner.h"

#include <mutex>

#include "platform/DialogModule.h"
#include "platform/DialogView.h"
#include "platform/Log.h"

namespace nivexa::dialogs {

namespace {

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

int32_t hostResource(void* context, int32_t page) {
  const DialogModel& model = modelOf(context);
  if (page < 0) {
    return model.frameResource();
  }
  const auto& pages = model.pages();
  return static_cast<size_t>(page) < pages.size() ? pages[static_cast<size_t>(page)].resource : 0;
}

}  // namespace

RunResult runDialog(DialogModel& model, uintptr_t parent) {
  // One dialog at a time in the process: GUI toolkits are not thread-safe, and a second dialog
  // from another thread would run a second modal loop against the first one's toolkit state.
  static std::mutex showing;
  std::unique_lock<std::mutex> only(showing, std::try_to_lock);
  if (!only.owns_lock()) {
    NIVEXA_LOG(Dialogs, Warning, "a dialog is already open");
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
                              hostPress,     hostPoll,
                              hostResource};
  const int32_t shown = platform::showDialogView(host, parent);
  if (shown != NIVEXA_DIALOG_CLOSED) {
    NIVEXA_LOG(Dialogs, Warning, "the dialog could not be shown (%d)", shown);
    return RunResult::Unavailable;
  }
  // A window closed by other means than its buttons counts as Cancel.
  if (model.result() == 0) {
    model.press(2);
  }
  return RunResult::Closed;
}

}  // namespace nivexa::dialogs

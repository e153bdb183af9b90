#pragma once

#include <cstdint>

#include "dialogs/DialogModel.h"

namespace nivexa::dialogs {

enum class RunResult {
  Closed,      // the dialog was shown and closed; the model's result() says how
  Unavailable  // no dialog module, or it could not show a window (no display)
};

// Shows `model` modally on the calling thread with the platform's dialog view. On Linux that is
// the GTK module, loaded on the first call and found through NIVEXA_DIALOG_MODULE, else next to
// this library, else on the loader's search path. While one dialog is open, a dialog asked for
// on any thread is Unavailable.
RunResult runDialog(DialogModel& model, uintptr_t parent);

}  // namespace nivexa::dialogs

#pragma once

#include <cstdint>

#include "platform/DialogModule.h"

namespace nivexa::platform {

// Shows the dialog that `host` describes, modally on the calling thread, with the platform's
// toolkit: on Linux the GTK module loaded on the first call, on Windows the dialog templates in
// the library's resources. Returns NIVEXA_DIALOG_CLOSED, or NIVEXA_DIALOG_NO_DISPLAY /
// NIVEXA_DIALOG_NO_VIEW when it could not be shown.
int32_t showDialogView(const NivexaDialogHost& host, uintptr_t parent);

}  // namespace nivexa::platform

// The commands that take frames: stream, snapshot, record and view.
#pragma once

#include "Options.h"

namespace nivexa::tool {

int streamFrames(const Arguments& args);
int takeSnapshot(const Arguments& args);
int recordFrames(const Arguments& args);
int viewFrames(const Arguments& args);

}  // namespace nivexa::tool

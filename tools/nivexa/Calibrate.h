// `nivexa cool` and `nivexa calibrate`, over the shared calibration library.
#pragma once

#include "Options.h"

namespace nivexa::tool {

int coolCamera(const Arguments& args);
int calibrate(const Arguments& args);

}  // namespace nivexa::tool

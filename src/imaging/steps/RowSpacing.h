#pragma once

#include "imaging/DibImage.h"

namespace nivexa::imaging::steps {

// The engine writes rows tightly packed; moves them to their stride positions in place, last row
// first and each row from its last byte, so no row overwrites one not yet moved.
void respaceRows(DibImage& raw);

}  // namespace nivexa::imaging::steps

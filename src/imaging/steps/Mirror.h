#pragma once

#include "imaging/steps/ImageView.h"

namespace nivexa::imaging::steps {

// Reverses each row (horizontal) and/or the row order (vertical) of a bitmap of any depth.
// The reference rebuilds the rows in a temporary bitmap and copies them back; the in-place
// version swaps pixel pairs and needs no allocation per frame.
void mirrorReference(const ImageView& image, bool horizontal, bool vertical);
void mirrorInPlace(const ImageView& image, bool horizontal, bool vertical);

}  // namespace nivexa::imaging::steps

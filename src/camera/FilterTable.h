#pragma once

#include <atomic>
#include <cstdint>

#include "imaging/ProcessingParameters.h"

namespace nivexa::camera {

// A filter id whose value lives in the processing parameters and is only range-checked: the
// pipeline and the mask filters read it from the next frame on.
struct ObjectFilterRow {
  int32_t id;
  int32_t minimum;  // inclusive
  int32_t maximum;  // inclusive
  bool readable;    // the one-shot gray gain can be requested but not read back
  std::atomic<int32_t>& (*field)(imaging::ProcessingParameters&);
};

// The row of `id`, or nullptr when the id is not a plain object-side value.
const ObjectFilterRow* findObjectFilter(int32_t id);

}  // namespace nivexa::camera

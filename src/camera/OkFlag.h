#pragma once

#include "NivexaSdk.h"

namespace nivexa::camera {

// The `ok` argument of the exports that return a value: optional, written only when given.
inline void setOk(BOOL* ok, BOOL value) {
  if (ok != nullptr) {
    *ok = value;
  }
}

}  // namespace nivexa::camera

#pragma once

#include <optional>
#include <string>

#include "NivexaSdk.h"
#include "api/CSdkChain.h"

// One export under a second name. GCC wants the alias to repeat the nothrow it infers for the
// target; Clang reads nothrow as a noexcept clause that the public declaration lacks
// and refuses the redeclaration, so it gets the plain alias.
#if defined(__clang__)
#define NIVEXA_ALIAS_OF(target) __attribute__((alias(target)))
#else
#define NIVEXA_ALIAS_OF(target) __attribute__((alias(target), nothrow))
#endif

namespace nivexa::api {

// Runs `body` on the camera object of handle `h` and returns its result, or `failure` when the
// handle is not in the table or anything escapes the body: nothing is thrown into C callers.
template <typename R, typename Body>
R withCamera(LONG h, R failure, Body&& body) noexcept {
  try {
    auto entry = sdkChain().lookup(h);
    if (!entry || !entry->camera) {
      return failure;
    }
    return static_cast<R>(body(*entry->camera));
  } catch (...) {
    return failure;
  }
}

// The same for the wide-path variants: the path is converted first (error 12 when it cannot be)
// and the body receives the narrow path.
template <typename Body>
BOOL withNarrowPath(LONG h, const wchar_t* path, Body&& body) noexcept {
  return withCamera(h, BOOL{0}, [&](camera::CNivexa& cam) -> BOOL {
    const std::optional<std::string> narrow = cam.NarrowPath(path);
    return narrow ? body(cam, narrow->c_str()) : 0;
  });
}

}  // namespace nivexa::api

// libFuzzer entry for the registry text parser (built by scripts/test.sh when clang is there).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/RegistryFuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!nivexa::platform::regtext::registryTextRoundTrips(
          {reinterpret_cast<const char*>(data), size})) {
    std::abort();
  }
  return 0;
}

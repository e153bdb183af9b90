// libFuzzer entry for the mask file's header, the only part of a mask file that is parsed (built
// by scripts/test.sh when clang is there). The loader accepts a file only when this decoder
// accepts its first 40 bytes, so a header that decodes must encode back to the same fields and
// must describe exactly the four full-sensor images, whatever else the bytes hold.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/mask/MaskFile.h"

using namespace nivexa::imaging::mask;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::array<uint8_t, kHeaderBytes> bytes{};
  std::memcpy(bytes.data(), data, size < kHeaderBytes ? size : kHeaderBytes);
  const auto header = decodeMaskHeader(bytes);
  if (!header) {
    return 0;
  }
  const auto again = encodeMaskHeader(*header);
  // The magic with its zero, then the fields: everything but the free bytes of the magic area.
  if (std::memcmp(again.data(), bytes.data(), sizeof kMagic) != 0 ||
      std::memcmp(again.data() + 16, bytes.data() + 16, kHeaderBytes - 16) != 0) {
    std::abort();
  }
  constexpr MaskSize kSensor{2048, 1536};
  if (isAcceptedMaskHeader(*header, kSensor) &&
      (header->width != 2048 || header->height != 1536 ||
       uint64_t{header->imageBytes[0]} + header->imageBytes[1] + header->imageBytes[2] +
               header->imageBytes[3] + kHeaderBytes !=
           maskFileBytes(maskHeaderFor(kSensor)))) {
    std::abort();
  }
  return 0;
}

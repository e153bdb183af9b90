#include "imaging/mask/MaskFile.h"

#include <cstring>

#include "platform/ByteOrder.h"

namespace nivexa::imaging::mask {
std::array<uint8_t, kHeaderBytes> encodeMaskHeader(const MaskFileHeader& header) {
  std::array<uint8_t, kHeaderBytes> out{};
  std::memcpy(out.data(), kMagic, sizeof kMagic);
  platform::storeLe32(out, 16, header.width);
  platform::storeLe32(out, 20, header.height);
  for (size_t i = 0; i < 4; ++i) {
    platform::storeLe32(out, 24 + 4 * i, header.imageBytes[i]);
  }
  return out;
}

std::optional<MaskFileHeader> decodeMaskHeader(std::span<const uint8_t, kHeaderBytes> bytes) {
  // The magic is a C string: the 15 characters, then its zero; what follows the zero within the
  // 16 bytes is not part of it.
  if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    return std::nullopt;
  }
  MaskFileHeader header;
  header.width = platform::loadLe32(bytes, 16);
  header.height = platform::loadLe32(bytes, 20);
  for (size_t i = 0; i < 4; ++i) {
    header.imageBytes[i] = platform::loadLe32(bytes, 24 + 4 * i);
  }
  return header;
}

bool isAcceptedMaskHeader(const MaskFileHeader& h) {
  return h.width == static_cast<uint32_t>(kMaskWidth) &&
         h.height == static_cast<uint32_t>(kMaskHeight) && h.imageBytes[0] == kBytes8 &&
         h.imageBytes[1] == kBytes8 && h.imageBytes[2] == kBytes16 && h.imageBytes[3] == kBytes16;
}

}  // namespace nivexa::imaging::mask

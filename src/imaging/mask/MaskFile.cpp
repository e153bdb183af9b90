#include "imaging/mask/MaskFile.h"

#include <cstring>

#include "imaging/DibImage.h"
#include "platform/ByteOrder.h"

namespace nivexa::imaging::mask {
namespace {

constexpr int32_t kMaskBits8 = 8;
constexpr int32_t kMaskBits16 = 16;

}  // namespace

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

MaskFileHeader maskHeaderFor(MaskSize size) {
  const auto bytes = [&](int32_t bitsPerPixel) {
    return static_cast<uint32_t>(static_cast<uint64_t>(dibStride(size.width, bitsPerPixel)) *
                                 static_cast<uint64_t>(size.height));
  };
  MaskFileHeader header;
  header.width = static_cast<uint32_t>(size.width);
  header.height = static_cast<uint32_t>(size.height);
  header.imageBytes = {bytes(kMaskBits8), bytes(kMaskBits8), bytes(kMaskBits16),
                       bytes(kMaskBits16)};
  return header;
}

uint64_t maskFileBytes(const MaskFileHeader& header) {
  uint64_t total = kHeaderBytes;
  for (uint32_t bytes : header.imageBytes) {
    total += bytes;
  }
  return total;
}

bool isAcceptedMaskHeader(const MaskFileHeader& h, MaskSize size) {
  return size.width > 0 && size.height > 0 && h == maskHeaderFor(size);
}

}  // namespace nivexa::imaging::mask

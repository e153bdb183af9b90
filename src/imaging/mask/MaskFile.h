#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace nivexa::imaging::mask {

inline constexpr size_t kHeaderBytes = 40;
inline constexpr char kMagic[] = "OBLENT MASK1000";  // 15 characters and the terminating zero

// The sensor a mask belongs to: its references cover the whole pixel array.
struct MaskSize {
  int32_t width = 0;
  int32_t height = 0;

  bool operator==(const MaskSize&) const = default;
};

struct MaskFileHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  // dark8, white8, dark16, white16
  std::array<uint32_t, 4> imageBytes{};

  bool operator==(const MaskFileHeader&) const = default;
};

// The header of the four references of a sensor of `size`: each image is stored as the bitmap
// holds it, rows padded to four bytes.
MaskFileHeader maskHeaderFor(MaskSize size);
// The header and the four images that header announces.
uint64_t maskFileBytes(const MaskFileHeader& header);

std::array<uint8_t, kHeaderBytes> encodeMaskHeader(const MaskFileHeader& header);
// The header's fields, whatever they hold; nullopt when the magic is not there.
std::optional<MaskFileHeader> decodeMaskHeader(std::span<const uint8_t, kHeaderBytes> bytes);
// Whether a decoded header describes the four references of a sensor of `size`, the open
// camera's: a file taken on another sensor would put its pixels at the wrong positions.
bool isAcceptedMaskHeader(const MaskFileHeader& header, MaskSize size);

}  // namespace nivexa::imaging::mask

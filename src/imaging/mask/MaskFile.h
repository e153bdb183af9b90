#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace nivexa::imaging::mask {

inline constexpr int32_t kMaskWidth = 2048;
inline constexpr int32_t kMaskHeight = 1536;
inline constexpr size_t kHeaderBytes = 40;
inline constexpr char kMagic[] = "OBLENT MASK1000";  // 15 characters and the terminating zero
inline constexpr uint32_t kBytes8 = 0x300000;        // stride x height of an 8-bit mask image
inline constexpr uint32_t kBytes16 = 0x600000;
inline constexpr uint64_t kFileBytes = kHeaderBytes + 2ull * kBytes8 + 2ull * kBytes16;

struct MaskFileHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  // dark8, white8, dark16, white16
  std::array<uint32_t, 4> imageBytes{};
};

std::array<uint8_t, kHeaderBytes> encodeMaskHeader(const MaskFileHeader& header);
// The header's fields, whatever they hold; nullopt when the magic is not there.
std::optional<MaskFileHeader> decodeMaskHeader(std::span<const uint8_t, kHeaderBytes> bytes);
// Whether a decoded header describes the four full-sensor images this camera keeps.
bool isAcceptedMaskHeader(const MaskFileHeader& header);

}  // namespace nivexa::imaging::mask

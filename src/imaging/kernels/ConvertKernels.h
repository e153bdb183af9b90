#pragma once

#include <cstdint>

#include "imaging/ApplyKernel.h"

// Depth conversions between bitmaps, run through ApplyKernel. Each kernel reads the clipped source
// rectangle and writes the block at (dstX, dstY). A flipped kernel writes source row y to
// destination row dstY + (rect.bottom - 1 - y), which turns top-first memory into bottom-up rows.
// 16-bit samples are little-endian and hold 12 significant bits (0..4095): every conversion to 8
// bits per sample divides by 16 and limits to 255, so no output shows them darker or wrapped. A
// kernel given a source or destination depth it does not
// handle writes nothing; convert() below refuses such a pairing before calling ApplyKernel.
namespace nivexa::imaging::kernels {

// 8 -> 8, rows copied, flipped (BMP, JPEG from monochrome 8).
void copyGray8Flipped(const KernelArgs& a);
// 8 -> 24, gray byte into blue, green and red (display of monochrome frames).
void gray8ToBgr24(const KernelArgs& a);
// 8 -> 24, gray byte into blue, green and red, flipped (AVI from monochrome 8).
void gray8ToBgr24Flipped(const KernelArgs& a);
// 16 -> 8, value / 16 limited to 255 (display of monochrome 16).
void gray16ToGray8Div16(const KernelArgs& a);
// 16 -> 8, value / 16 limited to 255, flipped (JPEG from monochrome 16).
void gray16ToGray8Div16Flipped(const KernelArgs& a);
// 16 -> 24, value / 16 limited to 255 into blue, green and red, flipped (AVI from monochrome 16).
void gray16ToBgr24Div16Flipped(const KernelArgs& a);
// 32 -> 24, blue, green, red copied (display of colour 32).
void bgr32ToBgr24(const KernelArgs& a);
// 24 or 32 -> 24, blue, green, red copied, flipped (AVI and JPEG from colour 24/32).
void bgrToBgr24Flipped(const KernelArgs& a);
// 32 -> 32, blue, green, red copied; fourth byte = 255 - source fourth byte (PNG from colour 32:
// the fourth byte no step writes is 0, so a fresh frame comes out opaque).
void bgr32InvertFourth(const KernelArgs& a);
// 24 -> 24 or 32 -> 32, swapped to red, green, blue; the fourth byte carried over as stored
// (TIFF from colour 24/32).
void bgrToRgb8(const KernelArgs& a);
// 48 or 64 -> 24, each sample / 16 limited to 255 (display of colour 48/64).
void bgr16ToBgr24Div16(const KernelArgs& a);
// 48 or 64 -> 24, each sample / 16 limited to 255, flipped (JPEG from colour 48/64).
void bgr16ToBgr24Div16Flipped(const KernelArgs& a);
// 48 -> 48 or 64 -> 64, swapped to red, green, blue; the fourth sample of a 64-bit pixel set to
// 65535 (TIFF from colour 48/64).
void bgr16ToRgb16(const KernelArgs& a);
// 16 -> 16, 48 -> 48 or 64 -> 64, order kept, every sample stored most significant byte first;
// the fourth sample of a 64-bit pixel set to 65535 (PNG from 16-bit samples).
void samples16ToBigEndian(const KernelArgs& a);

// One row of the conversion table: the kernel with the depths it accepts.
struct Conversion {
  Kernel kernel;
  uint16_t sourceBits[3];    // the accepted source depths; 0 fills unused places
  bool sameDepth;            // destination depth equals source depth
  uint16_t destinationBits;  // when not sameDepth
  bool flipped;
};

namespace table {
inline constexpr Conversion kCopyGray8Flipped{copyGray8Flipped, {8, 0}, false, 8, true};
inline constexpr Conversion kGray8ToBgr24{gray8ToBgr24, {8, 0}, false, 24, false};
inline constexpr Conversion kGray8ToBgr24Flipped{gray8ToBgr24Flipped, {8, 0}, false, 24, true};
inline constexpr Conversion kGray16ToGray8Div16{gray16ToGray8Div16, {16, 0}, false, 8, false};
inline constexpr Conversion kGray16ToGray8Div16Flipped{
    gray16ToGray8Div16Flipped, {16, 0}, false, 8, true};
inline constexpr Conversion kGray16ToBgr24Div16Flipped{
    gray16ToBgr24Div16Flipped, {16, 0}, false, 24, true};
inline constexpr Conversion kBgr32ToBgr24{bgr32ToBgr24, {32, 0}, false, 24, false};
inline constexpr Conversion kBgrToBgr24Flipped{bgrToBgr24Flipped, {24, 32}, false, 24, true};
inline constexpr Conversion kBgr32InvertFourth{bgr32InvertFourth, {32, 0}, true, 0, false};
inline constexpr Conversion kBgrToRgb8{bgrToRgb8, {24, 32}, true, 0, false};
inline constexpr Conversion kBgr16ToBgr24Div16{bgr16ToBgr24Div16, {48, 64}, false, 24, false};
inline constexpr Conversion kBgr16ToBgr24Div16Flipped{
    bgr16ToBgr24Div16Flipped, {48, 64}, false, 24, true};
inline constexpr Conversion kBgr16ToRgb16{bgr16ToRgb16, {48, 64}, true, 0, false};
inline constexpr Conversion kSamples16ToBigEndian{
    samples16ToBigEndian, {16, 48, 64}, true, 0, false};
}  // namespace table

// The flipped conversion of a source of the given depth to 24-bit rows (AVI frames), or nullptr.
Kernel bgr24FlippedKernelFor(int32_t sourceBitsPerPixel);

// Whether a conversion accepts this pair of depths.
bool accepts(const Conversion& conversion, int32_t sourceBits, int32_t destinationBits);

// ApplyKernel for one table row after checking the depths of both bitmaps; 0 when they do not fit
// the row or when ApplyKernel refuses.
int convert(DibImage& destination, const Conversion& conversion, const DibImage& source,
            const Rect* sourceRect = nullptr, int32_t dstX = 0, int32_t dstY = 0);

}  // namespace nivexa::imaging::kernels

#include "imaging/kernels/ConvertKernels.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/ByteOrder.h"

namespace nivexa::imaging::kernels {
namespace {

// Calls row(dst, src, width) for every row of the rectangle, with both pointers at the first pixel
// of the block. The row functions are plain loops over bytes so the compiler can vectorise them.
template <bool Flipped, typename RowFn>
void forEachRow(const KernelArgs& a, RowFn row) {
  const int32_t width = a.rect.width();
  const ptrdiff_t srcColumn = static_cast<ptrdiff_t>(a.rect.left) * a.srcBytesPerPixel;
  const ptrdiff_t dstColumn = static_cast<ptrdiff_t>(a.dstX) * a.dstBytesPerPixel;
  for (int32_t y = a.rect.top; y < a.rect.bottom; ++y) {
    const int32_t dy = Flipped ? a.dstY + (a.rect.bottom - 1 - y) : a.dstY + (y - a.rect.top);
    const uint8_t* s = a.src + static_cast<ptrdiff_t>(y) * a.srcStride + srcColumn;
    uint8_t* d = a.dst + static_cast<ptrdiff_t>(dy) * a.dstStride + dstColumn;
    row(d, s, width);
  }
}

bool depths(const KernelArgs& a, int32_t srcBytes, int32_t dstBytes) {
  return a.srcBytesPerPixel == srcBytes && a.dstBytesPerPixel == dstBytes;
}

inline uint32_t le16(const uint8_t* p) {
  return platform::loadLe16({p, sizeof(uint16_t)}, 0);
}

// A 16-bit sample's 12 significant bits on the 8-bit scale; anything above 4095 shows white
// instead of wrapping.
inline uint8_t div16Limited(uint32_t v) {
  constexpr uint32_t kMax8 = 255;
  return static_cast<uint8_t>(std::min(v >> kSample16To8Shift, kMax8));
}

template <bool Flipped>
void copyGray8(const KernelArgs& a) {
  forEachRow<Flipped>(a, [](uint8_t* d, const uint8_t* s, int32_t w) {
    std::memcpy(d, s, static_cast<size_t>(w));
  });
}

template <bool Flipped>
void gray8ToBgr24Rows(const KernelArgs& a) {
  forEachRow<Flipped>(a, [](uint8_t* d, const uint8_t* s, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
      d[3 * x + 0] = d[3 * x + 1] = d[3 * x + 2] = s[x];
    }
  });
}

template <bool Flipped>
void gray16Div16(const KernelArgs& a) {
  forEachRow<Flipped>(a, [](uint8_t* d, const uint8_t* s, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
      d[x] = div16Limited(le16(s + 2 * x));
    }
  });
}

template <bool Flipped>
void gray16Div16ToBgr24(const KernelArgs& a) {
  forEachRow<Flipped>(a, [](uint8_t* d, const uint8_t* s, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
      d[3 * x + 0] = d[3 * x + 1] = d[3 * x + 2] = div16Limited(le16(s + 2 * x));
    }
  });
}

// 3 or 4 source bytes per pixel, chosen once per call so the inner loop has a constant step.
template <int32_t SrcBytes, bool Flipped>
void bgrToBgr24(const KernelArgs& a) {
  forEachRow<Flipped>(a, [](uint8_t* d, const uint8_t* s, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
      d[3 * x + 0] = s[SrcBytes * x + 0];
      d[3 * x + 1] = s[SrcBytes * x + 1];
      d[3 * x + 2] = s[SrcBytes * x + 2];
    }
  });
}

template <int32_t Bytes>
void bgrToRgb8Rows(const KernelArgs& a) {
  forEachRow<false>(a, [](uint8_t* d, const uint8_t* s, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
      d[Bytes * x + 0] = s[Bytes * x + 2];
      d[Bytes * x + 1] = s[Bytes * x + 1];
      d[Bytes * x + 2] = s[Bytes * x + 0];
      if constexpr (Bytes == 4) {
        d[4 * x + 3] = s[4 * x + 3];
      }
    }
  });
}

template <int32_t SrcBytes, bool Flipped>
void bgr16Div16Rows(const KernelArgs& a) {
  forEachRow<Flipped>(a, [](uint8_t* d, const uint8_t* s, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* p = s + SrcBytes * x;
      d[3 * x + 0] = div16Limited(le16(p + 0));
      d[3 * x + 1] = div16Limited(le16(p + 2));
      d[3 * x + 2] = div16Limited(le16(p + 4));
    }
  });
}

template <int32_t Bytes>
void bgr16ToRgb16Rows(const KernelArgs& a) {
  forEachRow<false>(a, [](uint8_t* d, const uint8_t* s, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* p = s + Bytes * x;
      uint8_t* q = d + Bytes * x;
      q[0] = p[4];
      q[1] = p[5];
      q[2] = p[2];
      q[3] = p[3];
      q[4] = p[0];
      q[5] = p[1];
      if constexpr (Bytes == 8) {
        q[6] = 0xFF;
        q[7] = 0xFF;
      }
    }
  });
}

template <int32_t Bytes>
void bigEndianRows(const KernelArgs& a) {
  forEachRow<false>(a, [](uint8_t* d, const uint8_t* s, int32_t w) {
    const int32_t n = w * Bytes;
    for (int32_t i = 0; i < n; i += 2) {
      d[i] = s[i + 1];
      d[i + 1] = s[i];
    }
    if constexpr (Bytes == 8) {
      for (int32_t x = 0; x < w; ++x) {
        d[8 * x + 6] = 0xFF;
        d[8 * x + 7] = 0xFF;
      }
    }
  });
}

}  // namespace

void copyGray8Flipped(const KernelArgs& a) {
  if (depths(a, 1, 1)) {
    copyGray8<true>(a);
  }
}

void gray8ToBgr24(const KernelArgs& a) {
  if (depths(a, 1, 3)) {
    gray8ToBgr24Rows<false>(a);
  }
}

void gray8ToBgr24Flipped(const KernelArgs& a) {
  if (depths(a, 1, 3)) {
    gray8ToBgr24Rows<true>(a);
  }
}

void gray16ToGray8Div16(const KernelArgs& a) {
  if (depths(a, 2, 1)) {
    gray16Div16<false>(a);
  }
}

void gray16ToGray8Div16Flipped(const KernelArgs& a) {
  if (depths(a, 2, 1)) {
    gray16Div16<true>(a);
  }
}

void gray16ToBgr24Div16Flipped(const KernelArgs& a) {
  if (depths(a, 2, 3)) {
    gray16Div16ToBgr24<true>(a);
  }
}

void bgr32ToBgr24(const KernelArgs& a) {
  if (depths(a, 4, 3)) {
    bgrToBgr24<4, false>(a);
  }
}

void bgrToBgr24Flipped(const KernelArgs& a) {
  if (depths(a, 3, 3)) {
    bgrToBgr24<3, true>(a);
  } else if (depths(a, 4, 3)) {
    bgrToBgr24<4, true>(a);
  }
}

void bgr32InvertFourth(const KernelArgs& a) {
  if (!depths(a, 4, 4)) {
    return;
  }
  forEachRow<false>(a, [](uint8_t* d, const uint8_t* s, int32_t w) {
    for (int32_t x = 0; x < w; ++x) {
      d[4 * x + 0] = s[4 * x + 0];
      d[4 * x + 1] = s[4 * x + 1];
      d[4 * x + 2] = s[4 * x + 2];
      d[4 * x + 3] = static_cast<uint8_t>(255 - s[4 * x + 3]);
    }
  });
}

void bgrToRgb8(const KernelArgs& a) {
  if (depths(a, 3, 3)) {
    bgrToRgb8Rows<3>(a);
  } else if (depths(a, 4, 4)) {
    bgrToRgb8Rows<4>(a);
  }
}

void bgr16ToBgr24Div16(const KernelArgs& a) {
  if (depths(a, 6, 3)) {
    bgr16Div16Rows<6, false>(a);
  } else if (depths(a, 8, 3)) {
    bgr16Div16Rows<8, false>(a);
  }
}

void bgr16ToBgr24Div16Flipped(const KernelArgs& a) {
  if (depths(a, 6, 3)) {
    bgr16Div16Rows<6, true>(a);
  } else if (depths(a, 8, 3)) {
    bgr16Div16Rows<8, true>(a);
  }
}

void bgr16ToRgb16(const KernelArgs& a) {
  if (depths(a, 6, 6)) {
    bgr16ToRgb16Rows<6>(a);
  } else if (depths(a, 8, 8)) {
    bgr16ToRgb16Rows<8>(a);
  }
}

void samples16ToBigEndian(const KernelArgs& a) {
  if (depths(a, 2, 2)) {
    bigEndianRows<2>(a);
  } else if (depths(a, 6, 6)) {
    bigEndianRows<6>(a);
  } else if (depths(a, 8, 8)) {
    bigEndianRows<8>(a);
  }
}

bool accepts(const Conversion& conversion, int32_t sourceBits, int32_t destinationBits) {
  const bool source = std::find(std::begin(conversion.sourceBits), std::end(conversion.sourceBits),
                                sourceBits) != std::end(conversion.sourceBits) &&
                      sourceBits != 0;
  const int32_t wanted = conversion.sameDepth ? sourceBits : conversion.destinationBits;
  return source && destinationBits == wanted;
}

Kernel bgr24FlippedKernelFor(int32_t sourceBitsPerPixel) {
  constexpr int32_t kBgr24Bits = 24;
  for (const Conversion* row : {&table::kGray8ToBgr24Flipped, &table::kGray16ToBgr24Div16Flipped,
                                &table::kBgrToBgr24Flipped, &table::kBgr16ToBgr24Div16Flipped}) {
    if (accepts(*row, sourceBitsPerPixel, kBgr24Bits)) {
      return row->kernel;
    }
  }
  return nullptr;
}

int convert(DibImage& destination, const Conversion& conversion, const DibImage& source,
            const Rect* sourceRect, int32_t dstX, int32_t dstY) {
  if (!accepts(conversion, source.bitsPerPixel(), destination.bitsPerPixel())) {
    return 0;
  }
  return ApplyKernel(destination, conversion.kernel, source, sourceRect, dstX, dstY, nullptr);
}

}  // namespace nivexa::imaging::kernels

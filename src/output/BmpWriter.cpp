#include "output/BmpWriter.h"

#include <new>
#include <vector>

#include "output/ImageWriters.h"
#include "platform/ByteOrder.h"

namespace nivexa::output {
namespace {

constexpr size_t kOffFileSize = 2;
constexpr size_t kOffDataOffset = 10;

}  // namespace

uint32_t bmpDataOffset(const imaging::DibImage& image) {
  const uint32_t headers = kBmpFileHeaderBytes + imaging::DibHeader::kSize;
  return image.bitsPerPixel() <= 8 ? headers + imaging::kPaletteEntries * 4 : headers;
}

std::array<uint8_t, kBmpFileHeaderBytes> bmpFileHeader(const imaging::DibImage& image) {
  std::array<uint8_t, kBmpFileHeaderBytes> out{};
  out[0] = 'B';
  out[1] = 'M';
  platform::storeLe32(out, kOffFileSize,
                      bmpDataOffset(image) + static_cast<uint32_t>(image.imageBytes()));
  // Bytes 6..9: both reserved words stay 0.
  platform::storeLe32(out, kOffDataOffset, bmpDataOffset(image));
  return out;
}

bool writeBmp(const imaging::DibImage& image, ByteSink& sink) {
  if (!image.valid()) {
    return false;
  }
  const auto fileHeader = bmpFileHeader(image);
  const auto info = image.bitmapInfoBytes();
  const size_t infoBytes = bmpDataOffset(image) - kBmpFileHeaderBytes;
  if (!sink.append(fileHeader) || !sink.append(std::span(info).first(infoBytes))) {
    return false;
  }
  // The header declares bottom-up rows; memory holds the top row first. The rows go to the sink
  // together, so a file takes them without a copy through a buffer.
  const auto stride = static_cast<size_t>(image.stride());
  std::vector<std::span<const uint8_t>> rows;
  try {
    rows.reserve(static_cast<size_t>(image.height()));
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int32_t y = image.height() - 1; y >= 0; --y) {
    rows.emplace_back(image.row(y), stride);
  }
  return sink.appendPieces(rows);
}

bool writeRaw(const imaging::DibImage& image, ByteSink& sink) {
  return image.valid() && sink.append(image.pixels());
}

}  // namespace nivexa::output

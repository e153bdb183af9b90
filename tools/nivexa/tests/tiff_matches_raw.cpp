// Compares a multi-page 16-bit TIFF recording with a raw recording of the same camera: every raw
// frame must be the same (the camera is deterministic), and every TIFF page must hold exactly
// its samples. Usage: tiff_matches_raw FILE.tif FILE.raw
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

struct Closer {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

constexpr uint16_t kSixteenBits = 16;
constexpr uint32_t kByteBits = 8;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tiff_matches_raw FILE.tif FILE.raw\n");
    return 2;
  }
  std::unique_ptr<TIFF, Closer> tiff(TIFFOpen(argv[1], "r"));
  std::ifstream rawFile(argv[2], std::ios::binary);
  const std::vector<uint8_t> raw((std::istreambuf_iterator<char>(rawFile)),
                                 std::istreambuf_iterator<char>());
  if (!tiff || raw.empty()) {
    std::fprintf(stderr, "cannot read the recordings\n");
    return 1;
  }
  uint32_t width = 0;
  uint32_t height = 0;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
  const size_t frameBytes = size_t{width} * height * 2;
  if (frameBytes == 0 || raw.size() % frameBytes != 0) {
    std::fprintf(stderr, "the raw file is not whole frames of %ux%u\n", width, height);
    return 1;
  }
  for (size_t at = frameBytes; at < raw.size(); at += frameBytes) {
    if (!std::equal(raw.begin(), raw.begin() + frameBytes, raw.begin() + at)) {
      std::fprintf(stderr, "raw frame %zu differs from the first\n", at / frameBytes);
      return 1;
    }
  }
  std::vector<uint16_t> row(width);
  uint32_t pages = 0;
  do {
    uint16_t bits = 0;
    uint32_t pageWidth = 0;
    uint32_t pageHeight = 0;
    TIFFGetField(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &pageWidth);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &pageHeight);
    if (bits != kSixteenBits || pageWidth != width || pageHeight != height) {
      std::fprintf(stderr, "page %u: %ux%u at %u bits\n", pages, pageWidth, pageHeight, bits);
      return 1;
    }
    for (uint32_t y = 0; y < height; ++y) {
      if (TIFFReadScanline(tiff.get(), row.data(), y, 0) < 0) {
        std::fprintf(stderr, "page %u row %u unreadable\n", pages, y);
        return 1;
      }
      for (uint32_t x = 0; x < width; ++x) {
        const size_t i = (size_t{y} * width + x) * 2;
        const auto sample = static_cast<uint16_t>(raw[i] | (raw[i + 1] << kByteBits));
        if (row[x] != sample) {
          std::fprintf(stderr, "page %u at %u,%u: %u, raw %u\n", pages, x, y, row[x], sample);
          return 1;
        }
      }
    }
    ++pages;
  } while (TIFFReadDirectory(tiff.get()));
  if (pages < 2) {
    std::fprintf(stderr, "only %u page\n", pages);
    return 1;
  }
  std::printf("%u TIFF pages of %ux%u equal the %zu raw frames\n", pages, width, height,
              raw.size() / frameBytes);
  return 0;
}

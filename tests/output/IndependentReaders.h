#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Decoders the tests judge the written files with: the libraries' own read sides for PNG, TIFF
// and JPEG, and a byte-level BMP parser that knows nothing of the writer's code.
namespace nivexa::output::testing {

struct PngFile {
  bool ok = false;
  uint32_t width = 0, height = 0;
  int bitDepth = 0, colorType = -1, interlace = -1;
  int significantGrayBits = 0;             // the sBIT chunk's gray entry; 0 without the chunk
  std::vector<std::vector<uint8_t>> rows;  // as stored: 16-bit samples most significant first
};
PngFile readPng(const std::string& path);

struct TiffFile {
  bool ok = false;
  uint32_t width = 0, height = 0;
  uint16_t bitsPerSample = 0, samplesPerPixel = 0, photometric = 0, compression = 0, planar = 0;
  uint32_t strips = 0;
  uint16_t extraSamples = 0;
  bool littleEndianFile = false;
  double sMaxSampleValue = 0;   // 0 without the tag
  std::vector<uint8_t> pixels;  // all rows, top first, samples in host order
};
TiffFile readTiff(const std::string& path);

struct JpegFile {
  bool ok = false;
  uint32_t width = 0, height = 0;
  int components = 0;
  bool progressive = false;
  std::vector<uint8_t> pixels;  // rows top first, gray or red-green-blue
};
JpegFile readJpeg(const std::string& path);

struct BmpFile {
  bool ok = false;
  std::string problem;  // why ok is false
  uint32_t fileSize = 0, reserved = 0, dataOffset = 0;
  uint32_t infoSize = 0;
  int32_t width = 0, height = 0;
  uint16_t planes = 0, bitCount = 0;
  uint32_t compression = 0, sizeImage = 0, otherFields = 0;  // otherFields: the last five ORed
  std::vector<uint8_t> palette;                              // 1024 bytes when present
  std::vector<std::vector<uint8_t>> rowsInFileOrder;         // stride bytes each
};
BmpFile parseBmp(const std::vector<uint8_t>& bytes);

}  // namespace nivexa::output::testing

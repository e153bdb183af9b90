#include "output/IndependentReaders.h"

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace nivexa::output::testing {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

struct JpegReadError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void jpegReadFailed(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegReadError*>(cinfo->err)->jump, 1);
}

bool decodeJpeg(FILE* f, JpegFile& out, jpeg_decompress_struct& d, JpegReadError& err) {
  if (setjmp(err.jump) != 0) {
    return false;
  }
  jpeg_create_decompress(&d);
  jpeg_stdio_src(&d, f);
  jpeg_read_header(&d, TRUE);
  out.progressive = jpeg_has_multiple_scans(&d) && d.progressive_mode;
  jpeg_start_decompress(&d);
  out.width = d.output_width;
  out.height = d.output_height;
  out.components = d.output_components;
  out.pixels.resize(static_cast<size_t>(out.width) * out.height * out.components);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = out.pixels.data() + static_cast<size_t>(d.output_scanline) * out.width *
                                           static_cast<size_t>(out.components);
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  return true;
}

bool decodePng(FILE* f, PngFile& out, png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png)) != 0) {
    return false;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  int bitDepth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &out.width, &out.height, &bitDepth, &colorType, &interlace, nullptr,
               nullptr);
  out.bitDepth = bitDepth;
  out.colorType = colorType;
  out.interlace = interlace;
  png_color_8p significant = nullptr;
  if (png_get_sBIT(png, info, &significant) != 0 && significant != nullptr) {
    out.significantGrayBits = significant->gray;
  }
  const size_t rowBytes = png_get_rowbytes(png, info);
  out.rows.assign(out.height, std::vector<uint8_t>(rowBytes));
  std::vector<png_bytep> pointers;
  for (auto& r : out.rows) {
    pointers.push_back(r.data());
  }
  png_read_image(png, pointers.data());
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

PngFile readPng(const std::string& path) {
  PngFile out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    return out;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info != nullptr) {
    out.ok = decodePng(f, out, png, info);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return out;
}

TiffFile readTiff(const std::string& path) {
  TiffFile out;
  // "c": the strips as the file has them; libtiff would otherwise present one large
  // uncompressed strip as several small ones.
  TIFF* t = TIFFOpen(path.c_str(), "rc");
  if (t == nullptr) {
    return out;
  }
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &out.width);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &out.height);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &out.bitsPerSample);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &out.samplesPerPixel);
  TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &out.photometric);
  TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &out.compression);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &out.planar);
  uint16_t count = 0;
  uint16_t* extra = nullptr;
  if (TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &count, &extra) == 1) {
    out.extraSamples = count;
  }
  double sMax = 0;
  if (TIFFGetField(t, TIFFTAG_SMAXSAMPLEVALUE, &sMax) == 1) {
    out.sMaxSampleValue = sMax;
  }
  out.strips = TIFFNumberOfStrips(t);
  out.littleEndianFile = !TIFFIsBigEndian(t);
  const tmsize_t stripSize = TIFFStripSize(t);
  out.pixels.resize(static_cast<size_t>(stripSize) * out.strips);
  bool good = true;
  for (uint32_t s = 0; s < out.strips && good; ++s) {
    good = TIFFReadEncodedStrip(t, s, out.pixels.data() + static_cast<size_t>(stripSize) * s,
                                stripSize) >= 0;
  }
  out.pixels.resize(static_cast<size_t>(out.width) * out.height * out.samplesPerPixel *
                    (out.bitsPerSample / 8));
  TIFFClose(t);
  out.ok = good;
  return out;
}

JpegFile readJpeg(const std::string& path) {
  JpegFile out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    return out;
  }
  jpeg_decompress_struct d{};
  JpegReadError err{};
  d.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jpegReadFailed;
  out.ok = decodeJpeg(f, out, d, err);
  jpeg_destroy_decompress(&d);
  std::fclose(f);
  return out;
}

BmpFile parseBmp(const std::vector<uint8_t>& b) {
  BmpFile out;
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
    out.problem = "no BM header";
    return out;
  }
  out.fileSize = le32(b, 2);
  out.reserved = le32(b, 6);
  out.dataOffset = le32(b, 10);
  out.infoSize = le32(b, 14);
  out.width = static_cast<int32_t>(le32(b, 18));
  out.height = static_cast<int32_t>(le32(b, 22));
  out.planes = le16(b, 26);
  out.bitCount = le16(b, 28);
  out.compression = le32(b, 30);
  out.sizeImage = le32(b, 34);
  out.otherFields = le32(b, 38) | le32(b, 42) | le32(b, 46) | le32(b, 50);
  if (out.fileSize != b.size()) {
    out.problem = "declared size differs from the file's";
    return out;
  }
  if (out.bitCount <= 8) {
    if (b.size() < 54 + 1024) {
      out.problem = "palette cut short";
      return out;
    }
    out.palette.assign(b.begin() + 54, b.begin() + 54 + 1024);
  }
  const size_t stride = (static_cast<size_t>(out.width) * (out.bitCount / 8) + 3) / 4 * 4;
  if (out.height <= 0 || out.dataOffset + stride * static_cast<size_t>(out.height) != b.size()) {
    out.problem = "rows do not fill the file";
    return out;
  }
  for (int32_t i = 0; i < out.height; ++i) {
    const auto* row = b.data() + out.dataOffset + stride * static_cast<size_t>(i);
    out.rowsInFileOrder.emplace_back(row, row + stride);
  }
  out.ok = true;
  return out;
}

}  // namespace nivexa::output::testing

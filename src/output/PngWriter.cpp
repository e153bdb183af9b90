#include <png.h>
#include <zlib.h>

#include <memory>
#include <new>

#include "imaging/kernels/ConvertKernels.h"
#include "output/ImageWriters.h"
#include "platform/Log.h"

namespace nivexa::output {
namespace {

constexpr int32_t kMono16Bits = 16;

// zlib's default (level 6, every row filter tried on every row) takes most of a second for a full
// frame. Run-length coding after the "up" filter takes a sixth of that, and on camera frames,
// whose low bits are noise that no dictionary match captures, the files come out no larger.
constexpr int kZlibLevel = 1;
constexpr int kZlibStrategy = Z_RLE;
constexpr int kRowFilter = PNG_FILTER_UP;

struct PngLayout {
  int bitDepth;
  int colorType;
  const imaging::kernels::Conversion* prepare;  // nullptr: the bitmap is written as it is
};

bool layoutFor(int32_t bitsPerPixel, PngLayout& out) {
  using namespace imaging::kernels;
  switch (bitsPerPixel) {
    case 8:
      out = {8, PNG_COLOR_TYPE_GRAY, nullptr};
      return true;
    case 24:
      out = {8, PNG_COLOR_TYPE_RGB, nullptr};
      return true;
    case 32:
      out = {8, PNG_COLOR_TYPE_RGB_ALPHA, &table::kBgr32InvertFourth};
      return true;
    case kMono16Bits:
      out = {16, PNG_COLOR_TYPE_GRAY, &table::kSamples16ToBigEndian};
      return true;
    case 48:
      out = {16, PNG_COLOR_TYPE_RGB, &table::kSamples16ToBigEndian};
      return true;
    case 64:
      out = {16, PNG_COLOR_TYPE_RGB_ALPHA, &table::kSamples16ToBigEndian};
      return true;
    default:
      return false;
  }
}

struct PngState {
  ByteSink* sink = nullptr;
  const imaging::DibImage* data = nullptr;
  PngLayout layout{};
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::unique_ptr<png_bytep[]> rows;
};

[[noreturn]] void errorFn(png_structp png, png_const_charp message) {
  NIVEXA_LOG(Output, Warning, "libpng error: %s", message);
  png_longjmp(png, 1);
}

void warningFn(png_structp, png_const_charp message) {
  NIVEXA_LOG(Output, Info, "libpng warning: %s", message);
}

void writeFn(png_structp png, png_bytep data, png_size_t length) {
  auto* s = static_cast<PngState*>(png_get_io_ptr(png));
  if (!s->sink->append({data, length})) {
    png_error(png, "write failed");
  }
}

void flushFn(png_structp) {}

// From the first library call on; nothing in this frame has a destructor, so the jump back from
// the error function skips no cleanup.
bool encode(PngState& s) {
  if (setjmp(png_jmpbuf(s.png)) != 0) {
    return false;
  }
  const imaging::DibImage& d = *s.data;
  png_set_write_fn(s.png, &s, writeFn, flushFn);
  png_set_compression_level(s.png, kZlibLevel);
  png_set_compression_strategy(s.png, kZlibStrategy);
  png_set_filter(s.png, PNG_FILTER_TYPE_BASE, kRowFilter);
  png_set_IHDR(s.png, s.info, static_cast<png_uint_32>(d.width()),
               static_cast<png_uint_32>(d.height()), s.layout.bitDepth, s.layout.colorType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (d.bitsPerPixel() == kMono16Bits) {
    // The samples are the sensor's 12 significant bits; a viewer that honours sBIT scales them
    // to full brightness instead of showing a picture at a sixteenth of it.
    png_color_8 significant{};
    significant.gray = static_cast<png_byte>(imaging::kSignificantBits16);
    png_set_sBIT(s.png, s.info, &significant);
  }
  png_write_info(s.png, s.info);
  png_set_bgr(s.png);
  s.rows.reset(new (std::nothrow) png_bytep[static_cast<size_t>(d.height())]);
  if (!s.rows) {
    png_error(s.png, "Divarezez: Out of memory");
  }
  for (int32_t y = 0; y < d.height(); ++y) {
    // libpng reads the rows; a transform that changed them would work on its own row copy.
    s.rows[static_cast<size_t>(y)] = const_cast<png_bytep>(d.row(y));
  }
  png_write_image(s.png, s.rows.get());
  png_write_end(s.png, s.info);
  return true;
}

}  // namespace

bool writePng(const imaging::DibImage& image, ByteSink& sink) {
  PngState s;
  if (!image.valid() || !layoutFor(image.bitsPerPixel(), s.layout)) {
    return false;
  }
  imaging::DibImage prepared;
  if (s.layout.prepare != nullptr) {
    if (prepared.CopyFormat(image) == 0 ||
        imaging::kernels::convert(prepared, *s.layout.prepare, image) == 0) {
      return false;
    }
    s.data = &prepared;
  } else {
    s.data = &image;
  }
  s.sink = &sink;
  // The version the code was compiled against: libpng refuses a write structure for another
  // minor version.
  s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, errorFn, warningFn);
  if (s.png == nullptr) {
    return false;
  }
  s.info = png_create_info_struct(s.png);
  if (s.info == nullptr) {
    png_destroy_write_struct(&s.png, nullptr);
    return false;
  }
  const bool done = encode(s);
  png_destroy_write_struct(&s.png, &s.info);
  return done;
}

}  // namespace nivexa::output

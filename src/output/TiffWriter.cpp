#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/kernels/ConvertKernels.h"
#include "output/ImageWriters.h"
#include "platform/Log.h"

namespace nivexa::output {
namespace {

struct TiffLayout {
  uint16_t bitsPerSample;
  uint16_t photometric;
  uint16_t samplesPerPixel;
  const imaging::kernels::Conversion* prepare;  // nullptr: samples written as they are
};

bool layoutFor(int32_t bitsPerPixel, TiffLayout& out) {
  using namespace imaging::kernels;
  switch (bitsPerPixel) {
    case 8:
      out = {8, PHOTOMETRIC_MINISBLACK, 1, nullptr};
      return true;
    case 16:
      out = {16, PHOTOMETRIC_MINISBLACK, 1, nullptr};
      return true;
    case 24:
      out = {8, PHOTOMETRIC_RGB, 3, &table::kBgrToRgb8};
      return true;
    case 32:
      out = {8, PHOTOMETRIC_RGB, 4, &table::kBgrToRgb8};
      return true;
    case 48:
      out = {16, PHOTOMETRIC_RGB, 3, &table::kBgr16ToRgb16};
      return true;
    case 64:
      out = {16, PHOTOMETRIC_RGB, 4, &table::kBgr16ToRgb16};
      return true;
    default:
      return false;
  }
}

// libtiff's view of the sink: a file with a position. Writes past the end extend it with zeros.
struct TiffStream {
  ByteSink* sink = nullptr;
  uint64_t position = 0;
  bool failed = false;
};

tmsize_t readProc(thandle_t, void*, tmsize_t) {
  return 0;
}

bool writeZeros(ByteSink& sink, uint64_t count) {
  static constexpr uint8_t kZeros[4096] = {};
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, sizeof kZeros));
    if (!sink.append({kZeros, n})) {
      return false;
    }
    count -= n;
  }
  return true;
}

tmsize_t writeProc(thandle_t handle, void* data, tmsize_t size) {
  auto* s = static_cast<TiffStream*>(handle);
  if (size < 0) {
    return -1;
  }
  const auto* bytes = static_cast<const uint8_t*>(data);
  auto length = static_cast<uint64_t>(size);
  const uint64_t end = s->sink->size();
  bool good = true;
  if (s->position > end) {
    good = writeZeros(*s->sink, s->position - end);
  }
  if (good && s->position < end) {
    const uint64_t inside = std::min(length, end - s->position);
    good = s->sink->writeAt(s->position, {bytes, static_cast<size_t>(inside)});
    bytes += inside;
    length -= inside;
  }
  if (good && length > 0) {
    good = s->sink->append({bytes, static_cast<size_t>(length)});
  }
  if (!good) {
    s->failed = true;
    return -1;
  }
  s->position += static_cast<uint64_t>(size);
  return size;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
  auto* s = static_cast<TiffStream*>(handle);
  uint64_t base = 0;
  if (whence == SEEK_CUR) {
    base = s->position;
  } else if (whence == SEEK_END) {
    base = s->sink->size();
  }
  s->position = base + offset;
  return s->position;
}

int closeProc(thandle_t) {
  return 0;
}

toff_t sizeProc(thandle_t handle) {
  return static_cast<TiffStream*>(handle)->sink->size();
}

int mapProc(thandle_t, void**, toff_t*) {
  return 0;
}

void unmapProc(thandle_t, void*, toff_t) {}

// Per-handle handlers, so a failing save on one thread neither prints nor disturbs another.
int errorHandler(TIFF*, void*, const char* module, const char* format, va_list args) {
  char message[512];
  std::vsnprintf(message, sizeof message, format, args);
  NIVEXA_LOG(Output, Warning, "libtiff error: %s: %s", module ? module : "", message);
  return 1;
}

int warningHandler(TIFF*, void*, const char* module, const char* format, va_list args) {
  char message[512];
  std::vsnprintf(message, sizeof message, format, args);
  NIVEXA_LOG(Output, Info, "libtiff warning: %s: %s", module ? module : "", message);
  return 1;
}

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct OptionsFree {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

}  // namespace

bool writeTiff(const imaging::DibImage& image, ByteSink& sink) {
  TiffLayout layout{};
  if (!image.valid() || !layoutFor(image.bitsPerPixel(), layout)) {
    return false;
  }
  imaging::DibImage prepared;
  const imaging::DibImage* data = &image;
  if (layout.prepare != nullptr) {
    if (prepared.CopyFormat(image) == 0 ||
        imaging::kernels::convert(prepared, *layout.prepare, image) == 0) {
      return false;
    }
    data = &prepared;
  }
  // Rows in the file carry no padding.
  const size_t rowBytes = static_cast<size_t>(image.width()) * image.bytesPerPixel();
  const size_t stripBytes = rowBytes * static_cast<size_t>(image.height());
  std::vector<uint8_t> packed;
  const uint8_t* strip = data->bits();
  if (rowBytes != static_cast<size_t>(data->stride())) {
    try {
      packed.resize(stripBytes);
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (int32_t y = 0; y < data->height(); ++y) {
      std::memcpy(packed.data() + rowBytes * static_cast<size_t>(y), data->row(y), rowBytes);
    }
    strip = packed.data();
  }

  std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
  if (!options) {
    return false;
  }
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), errorHandler, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), warningHandler, nullptr);
  TiffStream stream;
  stream.sink = &sink;
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFClientOpenExt("image", "w", &stream, readProc,
                                                          writeProc, seekProc, closeProc, sizeProc,
                                                          mapProc, unmapProc, options.get()));
  if (!tif) {
    return false;
  }
  TIFF* t = tif.get();
  bool good = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width())) &&
              TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height())) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, layout.bitsPerSample) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, layout.photometric) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel);
  if (good && layout.samplesPerPixel == 4) {
    // A fourth sample beside RGB must be declared; "unspecified" claims no alpha meaning.
    const uint16_t extra[1] = {EXTRASAMPLE_UNSPECIFIED};
    good = TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  // libtiff reads the strip it is given; the uncompressed codec in native byte order leaves it
  // as it is.
  good = good && TIFFWriteEncodedStrip(t, 0, const_cast<uint8_t*>(strip),
                                       static_cast<tmsize_t>(stripBytes)) > 0;
  // The directory is written here; TIFFClose reports nothing, a failing write shows in the stream.
  good = good && TIFFFlush(t) == 1;
  tif.reset();
  return good && !stream.failed;
}

}  // namespace nivexa::output

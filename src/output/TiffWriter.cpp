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

constexpr int32_t kMono16Bits = 16;

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
    case kMono16Bits:
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

// Rows converted per band: a band and its source rows stay in the cache between the conversion
// and the write, where a converted copy of the whole frame would cost a pass over fresh memory.
constexpr int32_t kBandRows = 32;

// The picture as the one strip of the file, appended band by band. Rows in the file carry no
// padding; the uncompressed codec in native byte order stores the bytes it is given.
bool writeStrip(TIFF* t, const imaging::DibImage& image,
                const imaging::kernels::Conversion* prepare) {
  const size_t rowBytes = static_cast<size_t>(image.width()) * image.bytesPerPixel();
  const auto append = [&](const uint8_t* bytes, size_t count) {
    return TIFFWriteRawStrip(t, 0, const_cast<uint8_t*>(bytes), static_cast<tmsize_t>(count)) ==
           static_cast<tmsize_t>(count);
  };
  if (prepare == nullptr && rowBytes == static_cast<size_t>(image.stride())) {
    // Band by band, not the frame in one write: the sink gathers each band into its buffer,
    // and the kernel then copies from memory just touched. One frame-sized write made the
    // kernel read the whole frame from main memory, a third slower than the gathering copy
    // plus the writes together.
    const size_t bandBytes = rowBytes * static_cast<size_t>(kBandRows);
    const size_t total = rowBytes * static_cast<size_t>(image.height());
    for (size_t done = 0; done < total; done += bandBytes) {
      if (!append(image.bits() + done, std::min(bandBytes, total - done))) {
        return false;
      }
    }
    return true;
  }
  imaging::DibImage band;
  if (band.Create(image.width(), std::min(kBandRows, image.height()),
                  static_cast<uint16_t>(image.bitsPerPixel())) == 0) {
    return false;
  }
  const imaging::DibImage* rows = prepare != nullptr ? &band : &image;
  const bool packed = rowBytes == static_cast<size_t>(band.stride());
  for (int32_t y0 = 0; y0 < image.height(); y0 += kBandRows) {
    const int32_t y1 = std::min(y0 + kBandRows, image.height());
    int32_t first = y0;
    if (prepare != nullptr) {
      const imaging::Rect source{0, y0, image.width(), y1};
      if (imaging::kernels::convert(band, *prepare, image, &source) == 0) {
        return false;
      }
      first = 0;
    }
    const int32_t count = y1 - y0;
    if (packed && prepare != nullptr) {
      if (!append(band.row(0), rowBytes * static_cast<size_t>(count))) {
        return false;
      }
      continue;
    }
    for (int32_t y = 0; y < count; ++y) {
      if (!append(rows->row(first + y), rowBytes)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

bool writeTiff(const imaging::DibImage& image, ByteSink& sink) {
  TiffLayout layout{};
  if (!image.valid() || !layoutFor(image.bitsPerPixel(), layout)) {
    return false;
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
  if (good && image.bitsPerPixel() == kMono16Bits) {
    // The samples are the sensor's 12 significant bits: readers that honour the largest sample
    // value stretch 0..4095 to full brightness instead of showing a picture at a sixteenth of it.
    good = TIFFSetField(t, TIFFTAG_SMAXSAMPLEVALUE, static_cast<double>(imaging::kMaxSample16));
  }
  if (good && layout.samplesPerPixel == 4) {
    // A fourth sample beside RGB must be declared; "unspecified" claims no alpha meaning.
    const uint16_t extra[1] = {EXTRASAMPLE_UNSPECIFIED};
    good = TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  good = good && writeStrip(t, image, layout.prepare);
  // The directory is written here; TIFFClose reports nothing, a failing write shows in the stream.
  good = good && TIFFFlush(t) == 1;
  tif.reset();
  return good && !stream.failed;
}

}  // namespace nivexa::output

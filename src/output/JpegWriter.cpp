#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include "imaging/kernels/ConvertKernels.h"
#include "output/ImageWriters.h"
#include "platform/Log.h"

namespace nivexa::output {
namespace {

constexpr size_t kDestinationBytes = 64 * 1024;

// The compressor with everything its callbacks need. The standard error manager would end the
// process on an encoding error; error_exit here jumps back into encode(), which reports failure.
struct JpegState {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errorManager{};
  jpeg_destination_mgr destination{};
  std::jmp_buf recover{};
  ByteSink* sink = nullptr;
  std::unique_ptr<uint8_t[]> outBuffer;
  const imaging::DibImage* image = nullptr;
  const imaging::kernels::Conversion* conversion = nullptr;
  imaging::DibImage line;  // one picture row at 8 bits per sample
  int quality = 100;
};

JpegState& stateOf(j_common_ptr cinfo) {
  return *static_cast<JpegState*>(cinfo->client_data);
}

[[noreturn]] void errorExit(j_common_ptr cinfo) {
  char message[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, message);
  NIVEXA_LOG(Output, Warning, "libjpeg error: %s", message);
  std::longjmp(stateOf(cinfo).recover, 1);
}

void outputMessage(j_common_ptr cinfo) {
  char message[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, message);
  NIVEXA_LOG(Output, Info, "libjpeg: %s", message);
}

void initDestination(j_compress_ptr cinfo) {
  JpegState& s = stateOf(reinterpret_cast<j_common_ptr>(cinfo));
  cinfo->dest->next_output_byte = s.outBuffer.get();
  cinfo->dest->free_in_buffer = kDestinationBytes;
}

boolean emptyOutputBuffer(j_compress_ptr cinfo) {
  JpegState& s = stateOf(reinterpret_cast<j_common_ptr>(cinfo));
  if (!s.sink->append({s.outBuffer.get(), kDestinationBytes})) {
    ERREXIT(cinfo, JERR_FILE_WRITE);
  }
  cinfo->dest->next_output_byte = s.outBuffer.get();
  cinfo->dest->free_in_buffer = kDestinationBytes;
  return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
  JpegState& s = stateOf(reinterpret_cast<j_common_ptr>(cinfo));
  const size_t used = kDestinationBytes - cinfo->dest->free_in_buffer;
  if (used > 0 && !s.sink->append({s.outBuffer.get(), used})) {
    ERREXIT(cinfo, JERR_FILE_WRITE);
  }
}

// Everything between setjmp and the last library call; no object with a destructor lives in this
// frame, so the jump back from a callback skips nothing that needs cleaning up.
bool encode(JpegState& s) {
  jpeg_compress_struct& c = s.cinfo;
  if (setjmp(s.recover) != 0) {
    return false;
  }
  // Creation can fail too (no memory) and reports through error_exit; destroying a compressor
  // whose creation failed is harmless. Creation clears everything but the error manager and
  // client data, so the destination is set after it.
  jpeg_create_compress(&c);
  s.destination.init_destination = initDestination;
  s.destination.empty_output_buffer = emptyOutputBuffer;
  s.destination.term_destination = termDestination;
  c.dest = &s.destination;
  const imaging::DibImage& image = *s.image;
  const int components = s.line.bitsPerPixel() == 8 ? 1 : 3;
  c.image_width = static_cast<JDIMENSION>(image.width());
  c.image_height = static_cast<JDIMENSION>(image.height());
  c.input_components = components;
  // The rows are handed over in the bitmap's blue-green-red order: libjpeg-turbo converts from
  // that order to YCbCr itself, giving the same file as a red-green-blue copy without the extra
  // pass over every row.
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, s.quality, TRUE);
  jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  // Top row of the picture first. Each row goes through the conversion on its own, so the
  // 8-bit picture never exists as a whole (the turned-over copy would be turned back here).
  for (int32_t y = 0; y < image.height(); ++y) {
    const imaging::Rect one{0, y, image.width(), y + 1};
    imaging::kernels::convert(s.line, *s.conversion, image, &one);
    JSAMPROW row = s.line.row(0);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  return true;
}

const imaging::kernels::Conversion* to8BitsPerSample(int32_t bitsPerPixel, uint16_t& tempBits) {
  using namespace imaging::kernels;
  switch (bitsPerPixel) {
    case 8:
      tempBits = 8;
      return &table::kCopyGray8Flipped;
    case 16:
      tempBits = 8;
      return &table::kGray16ToGray8Div16Flipped;
    case 24:
    case 32:
      tempBits = 24;
      return &table::kBgrToBgr24Flipped;
    case 48:
    case 64:
      tempBits = 24;
      return &table::kBgr16ToBgr24Div16Flipped;
    default:
      return nullptr;
  }
}

}  // namespace

bool writeJpeg(const imaging::DibImage& image, int quality, ByteSink& sink) {
  uint16_t tempBits = 0;
  const auto* conversion = to8BitsPerSample(image.bitsPerPixel(), tempBits);
  if (!image.valid() || conversion == nullptr) {
    return false;
  }
  auto state = std::make_unique<JpegState>();
  JpegState& s = *state;
  if (s.line.Create(image.width(), 1, tempBits) == 0) {
    return false;
  }
  s.sink = &sink;
  s.image = &image;
  s.conversion = conversion;
  s.quality = quality;
  s.outBuffer.reset(new (std::nothrow) uint8_t[kDestinationBytes]);
  if (!s.outBuffer) {
    return false;
  }
  s.cinfo.err = jpeg_std_error(&s.errorManager);
  s.errorManager.error_exit = errorExit;
  s.errorManager.output_message = outputMessage;
  s.cinfo.client_data = &s;
  const bool done = encode(s);
  jpeg_destroy_compress(&s.cinfo);
  return done;
}

}  // namespace nivexa::output

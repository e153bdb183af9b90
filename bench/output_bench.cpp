// Each image writer on a full 2048 x 1536 frame next to the same library called directly with
// the same settings (stdio file, no temporary, no sync), and the byte layouts next to one fwrite
// of the same bytes, in the same run. The writers' extra cost is the conversion pass, the
// temporary name, the sync and the rename; the TIFF peers also come durable ("_durable": the
// same temporary, syncs and rename as the writer), so that cost is measured on its own.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "imaging/DibImage.h"
#include "output/ImageWriter.h"

namespace {

namespace fs = std::filesystem;
using nivexa::imaging::DibImage;

constexpr int32_t kWidth = 2048;
constexpr int32_t kHeight = 1536;

const fs::path& benchFolder() {
  static const fs::path folder = [] {
    // NIVEXA_BENCH_DIR picks the file system (a tmpfs shows the cost without the disk's sync).
    const char* chosen = std::getenv("NIVEXA_BENCH_DIR");
    auto p = (chosen ? fs::path(chosen) : fs::temp_directory_path()) / "nivexa-output-bench";
    fs::create_directories(p);
    return p;
  }();
  return folder;
}

std::string benchPath(const char* name) {
  return (benchFolder() / name).string();
}

// A frame with gradients and texture, so the encoders see something like a camera picture.
const DibImage& frame(int32_t bits) {
  static DibImage frames[9];
  DibImage& f = frames[bits / 8];
  if (!f.valid()) {
    f.Create(kWidth, kHeight, static_cast<uint16_t>(bits));
    uint32_t noise = 12345;
    for (int32_t y = 0; y < kHeight; ++y) {
      uint8_t* row = f.row(y);
      for (int32_t i = 0; i < kWidth * f.bytesPerPixel(); ++i) {
        noise = noise * 1103515245u + 12345u;
        row[i] = static_cast<uint8_t>((y / 8 + i / 24 + (noise >> 29)) & 0xFF);
      }
    }
  }
  return f;
}

void reportFrame(benchmark::State& state, int32_t bits) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(frame(bits).imageBytes()));
}

void BM_Writer(benchmark::State& state, int32_t type, int32_t bits, const char* name) {
  const DibImage& image = frame(bits);
  const std::string path = benchPath(name);
  for (auto _ : state) {
    if (nivexa::output::writeImageFile(image, path.c_str(), type) != 1) {
      state.SkipWithError("write failed");
      break;
    }
  }
  reportFrame(state, bits);
}

// --- the libraries called directly -------------------------------------------------------

void BM_DirectFwrite(benchmark::State& state, int32_t bits) {
  const DibImage& image = frame(bits);
  const std::string path = benchPath("direct.raw");
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(image.bits(), 1, image.imageBytes(), f);
    std::fclose(f);
  }
  reportFrame(state, bits);
}

void BM_DirectJpeg(benchmark::State& state, int quality) {
  const DibImage& image = frame(24);
  const std::string path = benchPath("direct.jpg");
  std::vector<uint8_t> row(static_cast<size_t>(kWidth) * 3);
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    for (int32_t y = 0; y < kHeight; ++y) {
      const uint8_t* s = image.row(y);
      for (int32_t x = 0; x < kWidth; ++x) {
        row[3 * x] = s[3 * x + 2];
        row[3 * x + 1] = s[3 * x + 1];
        row[3 * x + 2] = s[3 * x];
      }
      JSAMPROW r = row.data();
      jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
  }
  reportFrame(state, 24);
}

// zlib level, strategy and row filters given to libpng; unset, its defaults.
struct PngSetting {
  int level;
  int strategy;
  int filters;
};

std::vector<png_bytep> pngRows(const DibImage& image) {
  std::vector<png_bytep> rows(kHeight);
  for (int32_t y = 0; y < kHeight; ++y) {
    rows[static_cast<size_t>(y)] = const_cast<png_bytep>(image.row(y));
  }
  return rows;
}

// libpng called directly on the frame's rows, as an application would without the SDK.
void writeDirectPng(const std::string& path, std::vector<png_bytep>& rows, int32_t bits,
                    const std::optional<PngSetting>& setting) {
  FILE* f = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  if (setting) {
    png_set_compression_level(png, setting->level);
    png_set_compression_strategy(png, setting->strategy);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, setting->filters);
  }
  png_set_IHDR(png, info, kWidth, kHeight, bits == 16 ? 16 : 8,
               bits == 16 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  if (bits == 16) {
    png_set_swap(png);  // the library turns little-endian samples around itself
  }
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

void BM_DirectPng(benchmark::State& state, int32_t bits) {
  const std::string path = benchPath("direct.png");
  std::vector<png_bytep> rows = pngRows(frame(bits));
  for (auto _ : state) {
    writeDirectPng(path, rows, bits, std::nullopt);
  }
  reportFrame(state, bits);
}

// libtiff called directly, one strip. `durable` adds what the writers do for a crash or a power
// cut: a temporary name, the file synced, renamed into place and the folder synced, so the
// writer's durable figure has a peer on any file system; without it the pair compares the writing
// alone only where a sync costs nothing (NIVEXA_BENCH_DIR on a tmpfs).
void BM_DirectTiff(benchmark::State& state, int32_t bits, bool durable) {
  const DibImage& image = frame(bits);
  const std::string path = benchPath("direct.tif");
  const std::string temporary = benchPath(".direct.tif.tmp");
  const size_t rowBytes = static_cast<size_t>(kWidth) * image.bytesPerPixel();
  std::vector<uint8_t> strip(rowBytes * kHeight);
  for (auto _ : state) {
    // The caller has to hand libtiff red-green-blue rows without padding, as the writer does.
    // The copy also brings the frame into the cache, which the writer's gathering buffer does
    // for it: the kernel copies a write from memory just touched faster than from main memory.
    for (int32_t y = 0; y < kHeight; ++y) {
      const uint8_t* s = image.row(y);
      uint8_t* d = strip.data() + rowBytes * static_cast<size_t>(y);
      if (bits == 24) {
        for (int32_t x = 0; x < kWidth; ++x) {
          d[3 * x] = s[3 * x + 2];
          d[3 * x + 1] = s[3 * x + 1];
          d[3 * x + 2] = s[3 * x];
        }
      } else {
        std::copy(s, s + rowBytes, d);
      }
    }
    TIFF* t = TIFFOpen((durable ? temporary : path).c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(kWidth));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(kHeight));
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits == 16 ? 16 : 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, bits == 16 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, bits == 16 ? 1 : 3);
    TIFFWriteEncodedStrip(t, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
    if (durable) {
      TIFFFlush(t);
      fsync(TIFFFileno(t));
    }
    TIFFClose(t);
    if (durable) {
      std::rename(temporary.c_str(), path.c_str());
      const int folder = open(benchFolder().c_str(), O_RDONLY | O_DIRECTORY);
      fsync(folder);
      close(folder);
    }
  }
  reportFrame(state, bits);
}

// libpng called directly with one zlib level, strategy and row filter: the file's size is the
// counter "file_bytes", to weigh each setting's time against what it costs in size.
void BM_PngSetting(benchmark::State& state, int32_t bits, int level, int strategy, int filters) {
  const std::string path = benchPath("setting.png");
  std::vector<png_bytep> rows = pngRows(frame(bits));
  for (auto _ : state) {
    writeDirectPng(path, rows, bits, PngSetting{level, strategy, filters});
  }
  state.counters["file_bytes"] = static_cast<double>(fs::file_size(path));
  reportFrame(state, bits);
}

#define NIVEXA_OUTPUT_BENCH(...) \
  BENCHMARK_CAPTURE(__VA_ARGS__)->Unit(benchmark::kMillisecond)->UseRealTime()

NIVEXA_OUTPUT_BENCH(BM_DirectFwrite, gray16, 16);
NIVEXA_OUTPUT_BENCH(BM_Writer, raw_gray16, 1, 16, "w.raw");
NIVEXA_OUTPUT_BENCH(BM_DirectFwrite, bgr24, 24);
NIVEXA_OUTPUT_BENCH(BM_Writer, bmp_bgr24, 0, 24, "w.bmp");
NIVEXA_OUTPUT_BENCH(BM_Writer, bmp_gray16, 0, 16, "w16.bmp");
NIVEXA_OUTPUT_BENCH(BM_DirectJpeg, q100, 100);
NIVEXA_OUTPUT_BENCH(BM_Writer, jpeg100_bgr24, 2, 24, "w.jpg");
NIVEXA_OUTPUT_BENCH(BM_DirectJpeg, q70, 70);
NIVEXA_OUTPUT_BENCH(BM_Writer, jpeg70_bgr24, 3, 24, "w.jpg");
NIVEXA_OUTPUT_BENCH(BM_DirectJpeg, q20, 20);
NIVEXA_OUTPUT_BENCH(BM_Writer, jpeg20_bgr24, 4, 24, "w.jpg");
NIVEXA_OUTPUT_BENCH(BM_DirectPng, gray16, 16);
NIVEXA_OUTPUT_BENCH(BM_Writer, png_gray16, 5, 16, "w.png");
NIVEXA_OUTPUT_BENCH(BM_DirectPng, bgr24, 24);
NIVEXA_OUTPUT_BENCH(BM_Writer, png_bgr24, 5, 24, "w.png");
// The settings weighed for the PNG writer, at both depths: zlib's default (level 6, every
// filter tried on every row) against faster levels with one fixed filter or run-length coding.
#define NIVEXA_PNG_SETTINGS(bits)                                                         \
  NIVEXA_OUTPUT_BENCH(BM_PngSetting, png##bits##_L6_all, bits, 6, 0, PNG_ALL_FILTERS);    \
  NIVEXA_OUTPUT_BENCH(BM_PngSetting, png##bits##_L1_all, bits, 1, 0, PNG_ALL_FILTERS);    \
  NIVEXA_OUTPUT_BENCH(BM_PngSetting, png##bits##_L1_none, bits, 1, 0, PNG_FILTER_NONE);   \
  NIVEXA_OUTPUT_BENCH(BM_PngSetting, png##bits##_L1_sub, bits, 1, 0, PNG_FILTER_SUB);     \
  NIVEXA_OUTPUT_BENCH(BM_PngSetting, png##bits##_L1_up, bits, 1, 0, PNG_FILTER_UP);       \
  NIVEXA_OUTPUT_BENCH(BM_PngSetting, png##bits##_L1_paeth, bits, 1, 0, PNG_FILTER_PAETH); \
  NIVEXA_OUTPUT_BENCH(BM_PngSetting, png##bits##_L2_sub, bits, 2, 0, PNG_FILTER_SUB);     \
  NIVEXA_OUTPUT_BENCH(BM_PngSetting, png##bits##_L3_sub, bits, 3, 0, PNG_FILTER_SUB);     \
  NIVEXA_OUTPUT_BENCH(BM_PngSetting, png##bits##_L1_rle_sub, bits, 1, 3, PNG_FILTER_SUB); \
  NIVEXA_OUTPUT_BENCH(BM_PngSetting, png##bits##_L1_rle_up, bits, 1, 3, PNG_FILTER_UP);   \
  NIVEXA_OUTPUT_BENCH(BM_PngSetting, png##bits##_L1_filtered_sub, bits, 1, 1, PNG_FILTER_SUB)
NIVEXA_PNG_SETTINGS(16);
NIVEXA_PNG_SETTINGS(24);
NIVEXA_OUTPUT_BENCH(BM_DirectTiff, gray16, 16, false);
NIVEXA_OUTPUT_BENCH(BM_DirectTiff, gray16_durable, 16, true);
NIVEXA_OUTPUT_BENCH(BM_Writer, tiff_gray16, 6, 16, "w.tif");
NIVEXA_OUTPUT_BENCH(BM_DirectTiff, bgr24, 24, false);
NIVEXA_OUTPUT_BENCH(BM_DirectTiff, bgr24_durable, 24, true);
NIVEXA_OUTPUT_BENCH(BM_Writer, tiff_bgr24, 6, 24, "w.tif");

}  // namespace

BENCHMARK_MAIN();

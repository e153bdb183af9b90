#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <utility>

#include "output/ImageWriter.h"
#include "output/IndependentReaders.h"
#include "output/OutputTestSupport.h"

namespace nivexa::output::testing {
namespace {

constexpr int32_t kDepths[] = {8, 16, 24, 32, 48, 64};

class ImageFiles : public OutputFolderTest {
 protected:
  // A painted picture of the given depth; odd width so rows carry padding at most depths.
  void make(imaging::DibImage& image, int32_t bits, int32_t width = 5, int32_t height = 4) {
    ASSERT_EQ(image.Create(width, height, static_cast<uint16_t>(bits)), 1);
    paintPicture(image);
  }
  // "f<bits><suffix>", built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about a
  // literal + std::string.
  static std::string depthName(int32_t bits, const std::string& suffix) {
    std::string name("f");
    name.append(std::to_string(bits)).append(suffix);
    return name;
  }
  std::string save(const imaging::DibImage& image, int32_t type, const std::string& name) {
    const std::string path = (dir_ / name).string();
    EXPECT_EQ(writeImageFile(image, path.c_str(), type), 1) << name;
    return path;
  }
};

TEST_F(ImageFiles, BmpOfEveryDepthHasTheDocumentedHeadersAndRowsBottomFirst) {
  for (int32_t bits : kDepths) {
    SCOPED_TRACE(bits);
    imaging::DibImage image;
    make(image, bits);
    const auto path = save(image, 0, depthName(bits, ".bmp"));
    const BmpFile bmp = parseBmp(fileBytes(path));
    ASSERT_TRUE(bmp.ok) << bmp.problem;
    const uint32_t offset = bits <= 8 ? 1078u : 54u;
    EXPECT_EQ(bmp.dataOffset, offset);
    EXPECT_EQ(bmp.fileSize, offset + image.imageBytes());
    EXPECT_EQ(bmp.reserved, 0u);
    EXPECT_EQ(bmp.infoSize, 40u);
    EXPECT_EQ(bmp.width, image.width());
    EXPECT_EQ(bmp.height, image.height()) << "positive: bottom-up rows";
    EXPECT_EQ(bmp.planes, 1);
    EXPECT_EQ(bmp.bitCount, bits);
    EXPECT_EQ(bmp.compression, 0u);
    EXPECT_EQ(bmp.sizeImage, 0u);
    EXPECT_EQ(bmp.otherFields, 0u);
    if (bits == 8) {
      ASSERT_EQ(bmp.palette.size(), 1024u);
      for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(bmp.palette[4 * i + 0], i);
        ASSERT_EQ(bmp.palette[4 * i + 1], i);
        ASSERT_EQ(bmp.palette[4 * i + 2], i);
        ASSERT_EQ(bmp.palette[4 * i + 3], 0);
      }
    }
    // The picture's top row is the file's last; 16-bit and wider samples go out unchanged.
    for (int32_t i = 0; i < image.height(); ++i) {
      const uint8_t* want = image.row(image.height() - 1 - i);
      ASSERT_EQ(bmp.rowsInFileOrder[static_cast<size_t>(i)],
                std::vector<uint8_t>(want, want + image.stride()))
          << "file row " << i;
    }
  }
}

TEST_F(ImageFiles, RawIsThePixelMemoryTopRowFirstWithPadding) {
  for (int32_t bits : kDepths) {
    SCOPED_TRACE(bits);
    imaging::DibImage image;
    make(image, bits);
    const auto bytes = fileBytes(save(image, 1, depthName(bits, ".raw")));
    EXPECT_EQ(bytes, std::vector<uint8_t>(image.pixels().begin(), image.pixels().end()));
  }
}

// What a PNG row must hold for a picture row: samples red-green-blue(-alpha), most significant
// byte first, alpha as documented.
std::vector<uint8_t> expectedPngRow(const imaging::DibImage& image, int32_t y) {
  std::vector<uint8_t> row;
  const int32_t bits = image.bitsPerPixel();
  for (int32_t x = 0; x < image.width(); ++x) {
    const uint8_t* p = image.row(y) + x * image.bytesPerPixel();
    switch (bits) {
      case 8:
        row.push_back(p[0]);
        break;
      case 24:
        row.insert(row.end(), {p[2], p[1], p[0]});
        break;
      case 32:
        row.insert(row.end(), {p[2], p[1], p[0], static_cast<uint8_t>(255 - p[3])});
        break;
      case 16:
        row.insert(row.end(), {p[1], p[0]});
        break;
      default:
        row.insert(row.end(), {p[5], p[4], p[3], p[2], p[1], p[0]});
        if (bits == 64) {
          row.insert(row.end(), {0xFF, 0xFF});
        }
    }
  }
  return row;
}

TEST_F(ImageFiles, PngOfEveryDepthReadsBackEverySampleExactly) {
  const int kColorType[] = {0, 0, 2, 6, 2, 6};  // gray, RGB, RGB with alpha
  for (size_t i = 0; i < std::size(kDepths); ++i) {
    const int32_t bits = kDepths[i];
    SCOPED_TRACE(bits);
    imaging::DibImage image;
    make(image, bits);
    const PngFile png = readPng(save(image, 5, depthName(bits, ".png")));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.width, 5u);
    EXPECT_EQ(png.height, 4u);
    EXPECT_EQ(png.bitDepth, bits == 8 || bits == 24 || bits == 32 ? 8 : 16);
    EXPECT_EQ(png.colorType, kColorType[i]);
    EXPECT_EQ(png.interlace, 0);
    // Monochrome 16 declares its 12 significant bits so that viewers show it at full brightness.
    EXPECT_EQ(png.significantGrayBits, bits == 16 ? 12 : 0);
    for (int32_t y = 0; y < image.height(); ++y) {
      ASSERT_EQ(png.rows[static_cast<size_t>(y)], expectedPngRow(image, y)) << "row " << y;
    }
  }
}

TEST_F(ImageFiles, PngAlphaOfAFreshFrameIsOpaqueAndSixteenBitSamplesAreBigEndian) {
  imaging::DibImage fresh;
  ASSERT_EQ(fresh.Create(3, 2, 32), 1);  // no step writes the fourth byte: it stays 0
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 3; ++x) {
      fresh.row(y)[4 * x] = static_cast<uint8_t>(x + 10 * y);
    }
  }
  const PngFile png32 = readPng(save(fresh, 5, "fresh32.png"));
  ASSERT_TRUE(png32.ok);
  for (const auto& row : png32.rows) {
    for (size_t x = 0; x < 3; ++x) {
      EXPECT_EQ(row[4 * x + 3], 255);
    }
  }
  imaging::DibImage wide;
  ASSERT_EQ(wide.Create(2, 1, 64), 1);
  const uint16_t samples[8] = {0x1234, 0xABCD, 0x0FFF, 0x0001, 0x8000, 0x00FF, 0x4321, 0x0000};
  for (int i = 0; i < 8; ++i) {
    wide.row(0)[2 * i] = static_cast<uint8_t>(samples[i]);
    wide.row(0)[2 * i + 1] = static_cast<uint8_t>(samples[i] >> 8);
  }
  const PngFile png64 = readPng(save(wide, 5, "wide64.png"));
  ASSERT_TRUE(png64.ok);
  // Red, green, blue of each pixel (the bitmap holds blue first), then alpha 65535.
  EXPECT_EQ(png64.rows[0], (std::vector<uint8_t>{0x0F, 0xFF, 0xAB, 0xCD, 0x12, 0x34, 0xFF, 0xFF,
                                                 0x43, 0x21, 0x00, 0xFF, 0x80, 0x00, 0xFF, 0xFF}));
}

// The larger pictures are written in several bands of rows, each converted on its own, or (rows
// without padding, width 36) handed on band by band as they are, the last band a short one.
TEST_F(ImageFiles, TiffOfEveryDepthIsOneUncompressedStripReadBackExactly) {
  for (const auto& [width, height] : {std::pair{5, 4}, std::pair{37, 70}, std::pair{36, 70}}) {
    for (int32_t bits : kDepths) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, " << width << " x " << height);
      imaging::DibImage image;
      make(image, bits, width, height);
      const TiffFile tif =
          readTiff(save(image, 6, depthName(bits, "-" + std::to_string(width) + ".tif")));
      ASSERT_TRUE(tif.ok);
      const bool wide = bits == 16 || bits >= 48;
      const uint16_t spp = bits == 32 || bits == 64 ? 4 : (bits >= 24 ? 3 : 1);
      EXPECT_EQ(tif.width, static_cast<uint32_t>(width));
      EXPECT_EQ(tif.height, static_cast<uint32_t>(height));
      EXPECT_EQ(tif.bitsPerSample, wide ? 16 : 8);
      EXPECT_EQ(tif.samplesPerPixel, spp);
      EXPECT_EQ(tif.photometric, spp == 1 ? 1 : 2);
      EXPECT_EQ(tif.compression, 1);
      EXPECT_EQ(tif.planar, 1);
      EXPECT_EQ(tif.strips, 1u);
      EXPECT_EQ(tif.extraSamples, spp == 4 ? 1 : 0);
      EXPECT_EQ(tif.sMaxSampleValue, bits == 16 ? 4095.0 : 0.0);
      const int32_t sampleBytes = wide ? 2 : 1;
      size_t at = 0;
      for (int32_t y = 0; y < image.height(); ++y) {
        for (int32_t x = 0; x < image.width(); ++x) {
          for (int32_t c = 0; c < spp; ++c) {
            // File order red, green, blue(, fourth); the bitmap holds blue first.
            const int32_t from = c < 3 ? 2 - c : 3;
            uint32_t want = 0;
            uint32_t got = 0;
            if (wide) {
              want = spp == 1 ? sample16(image, x, y, 0) : sample16(image, x, y, from);
              if (c == 3) {
                want = 65535;
              }
              got = static_cast<uint32_t>(tif.pixels[at] | (tif.pixels[at + 1] << 8));
            } else {
              want = image.row(y)[x * image.bytesPerPixel() + (spp == 1 ? 0 : from)];
              got = tif.pixels[at];
            }
            ASSERT_EQ(got, want) << "x " << x << " y " << y << " sample " << c;
            at += static_cast<size_t>(sampleBytes);
          }
        }
      }
    }
  }
}

double meanAbsoluteError(const JpegFile& jpg, const imaging::DibImage& image) {
  double sum = 0;
  size_t n = 0;
  for (uint32_t y = 0; y < jpg.height; ++y) {
    for (uint32_t x = 0; x < jpg.width; ++x) {
      for (int c = 0; c < jpg.components; ++c) {
        // Decoded red is the bitmap's third channel.
        const int32_t channel = jpg.components == 1 ? 0 : 2 - c;
        const int want = pictureValue(static_cast<int32_t>(x), static_cast<int32_t>(y), channel,
                                      image.width(), image.height());
        const int got = jpg.pixels[(y * jpg.width + x) * static_cast<uint32_t>(jpg.components) +
                                   static_cast<uint32_t>(c)];
        sum += std::abs(got - want);
        ++n;
      }
    }
  }
  return sum / static_cast<double>(n);
}

double rowMean(const JpegFile& jpg, uint32_t y) {
  const auto* row = jpg.pixels.data() + static_cast<size_t>(y) * jpg.width * jpg.components;
  return std::accumulate(row, row + jpg.width * jpg.components, 0.0) / (jpg.width * jpg.components);
}

TEST_F(ImageFiles, EveryJpegIsProgressiveTopRowFirstAndCloseToThePicture) {
  for (int32_t bits : kDepths) {
    for (int32_t type : {2, 3, 4}) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, type " << type);
      imaging::DibImage image;
      make(image, bits, 37, 29);
      const auto name =
          depthName(bits, std::string("-").append(std::to_string(type)).append(".jpg"));
      const JpegFile jpg = readJpeg(save(image, type, name));
      ASSERT_TRUE(jpg.ok);
      EXPECT_TRUE(jpg.progressive);
      EXPECT_EQ(jpg.width, 37u);
      EXPECT_EQ(jpg.height, 29u);
      EXPECT_EQ(jpg.components, bits <= 16 ? 1 : 3);
      // The picture darkens towards its top; a file written bottom-up would be bright first.
      EXPECT_LT(rowMean(jpg, 0) + 100, rowMean(jpg, jpg.height - 1));
      EXPECT_LT(meanAbsoluteError(jpg, image), type == 2 ? 2.5 : 8.0);
    }
  }
}

TEST_F(ImageFiles, LowestJpegQualityIsMuchSmallerThanTheHighest) {
  imaging::DibImage image;
  make(image, 24, 256, 192);
  const auto best = fileBytes(save(image, 2, "q100.jpg")).size();
  const auto worst = fileBytes(save(image, 4, "q20.jpg")).size();
  EXPECT_LT(worst * 3, best) << worst << " vs " << best;
}

TEST_F(ImageFiles, UnknownTypesAndUnencodableBitmapsWriteNothing) {
  imaging::DibImage image, empty, odd;
  make(image, 24);
  ASSERT_EQ(odd.Create(4, 4, 12), 1);
  const auto path = (dir_ / "x.img").string();
  EXPECT_EQ(writeImageFile(image, path.c_str(), 7), 0);
  EXPECT_EQ(writeImageFile(image, path.c_str(), -1), 0);
  EXPECT_EQ(writeImageFile(empty, path.c_str(), 0), 0);
  for (int32_t type : {2, 5, 6}) {
    EXPECT_EQ(writeImageFile(odd, path.c_str(), type), 0) << type;
  }
  EXPECT_EQ(writeImageFile(image, nullptr, 0), 0);
  EXPECT_EQ(writeImageFile(image, "", 0), 0);
  EXPECT_TRUE(entries().empty());
}

TEST_F(ImageFiles, PathsThatCannotBeCreatedReturnZeroAndLeaveNothing) {
  imaging::DibImage image;
  make(image, 8);
  fs::create_directories(dir_ / "folder");
  { std::ofstream(dir_ / "plain") << "x"; }
  for (const fs::path& p : {dir_ / "missing" / "a.png", dir_ / "plain" / "a.png", dir_ / "folder",
                            dir_ / "folder" / ""}) {
    for (int32_t type = 0; type <= 6; ++type) {
      EXPECT_EQ(writeImageFile(image, p.string().c_str(), type), 0) << p << " type " << type;
    }
  }
  EXPECT_EQ(entries(), (std::vector<std::string>{"folder", "plain"}));
  EXPECT_TRUE(fs::is_empty(dir_ / "folder"));
}

TEST_F(ImageFiles, UnwritableFolderReturnsZero) {
  imaging::DibImage image;
  make(image, 8);
  const auto locked = dir_ / "locked";
  fs::create_directories(locked);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  {
    std::ofstream probe(locked / "probe");
    if (probe.good()) {
      GTEST_SKIP() << "this user may write into read-only folders (root)";
    }
  }
  for (int32_t type = 0; type <= 6; ++type) {
    EXPECT_EQ(writeImageFile(image, (locked / "a.img").string().c_str(), type), 0) << type;
  }
  EXPECT_TRUE(fs::is_empty(locked));
}

TEST_F(ImageFiles, LibraryFailuresLeaveThePreviousFileAndNoTemporary) {
  const auto target = dir_ / "keep.img";
  { std::ofstream(target) << "previous"; }
  // libpng refuses widths above its limit of a million; libjpeg refuses more than 65500.
  imaging::DibImage tooWideForPng, tooWideForJpeg;
  ASSERT_EQ(tooWideForPng.Create(1000001, 1, 8), 1);
  ASSERT_EQ(tooWideForJpeg.Create(65501, 1, 8), 1);
  EXPECT_EQ(writeImageFile(tooWideForPng, target.string().c_str(), 5), 0);
  for (int32_t type : {2, 3, 4}) {
    EXPECT_EQ(writeImageFile(tooWideForJpeg, target.string().c_str(), type), 0);
  }
  EXPECT_EQ(entries(), std::vector<std::string>{"keep.img"});
  const auto kept = fileBytes(target);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous");
  // A successful save replaces it.
  imaging::DibImage image;
  make(image, 8);
  EXPECT_EQ(writeImageFile(image, target.string().c_str(), 1), 1);
  EXPECT_EQ(fileBytes(target).size(), image.imageBytes());
  EXPECT_EQ(entries(), std::vector<std::string>{"keep.img"});
}

bool haveTool(const char* name) {
  const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

std::string run(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return output;
  }
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    output += buffer;
  }
  status = pclose(pipe);
  return output;
}

TEST_F(ImageFiles, ExternalToolsAcceptOneFileOfEachType) {
  imaging::DibImage color, gray16;
  make(color, 24, 64, 48);
  make(gray16, 16, 64, 48);
  const auto bmp = save(color, 0, "t.bmp");
  const auto jpg = save(color, 2, "t.jpg");
  const auto png = save(gray16, 5, "t.png");
  const auto tif = save(color, 6, "t.tif");
  int status = 0;
  int used = 0;
  if (haveTool("pngcheck")) {
    ++used;
    const auto out = run("pngcheck -v '" + png + "'", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("64 x 48"), std::string::npos) << out;
  }
  if (haveTool("tiffinfo")) {
    ++used;
    const auto out = run("tiffinfo '" + tif + "'", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Image Width: 64 Image Length: 48"), std::string::npos) << out;
    EXPECT_EQ(out.find("Warning"), std::string::npos) << out;
  }
  if (haveTool("identify")) {
    ++used;
    for (const auto& file : {bmp, jpg, png, tif}) {
      const auto out = run("identify '" + file + "'", status);
      EXPECT_EQ(status, 0) << out;
      EXPECT_NE(out.find(" 64x48 "), std::string::npos) << out;
    }
  }
  if (used == 0) {
    GTEST_SKIP() << "none of pngcheck, tiffinfo, identify is installed";
  }
}

}  // namespace
}  // namespace nivexa::output::testing

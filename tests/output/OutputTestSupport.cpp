#include "output/OutputTestSupport.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace nivexa::output::testing {

uint8_t pictureValue(int32_t x, int32_t y, int32_t channel, int32_t width, int32_t height) {
  const int32_t ramp = height > 1 ? y * 180 / (height - 1) : 0;
  const int32_t texture = ((x * 7 + y * 3) % 11) * 2;
  const int32_t tint = width > 1 ? channel * (x * 40 / (width - 1)) : 0;
  return static_cast<uint8_t>(std::clamp(20 + ramp + texture + tint - channel * 10, 0, 255));
}

void paintPicture(imaging::DibImage& image) {
  const int32_t w = image.width();
  const int32_t h = image.height();
  const int32_t bytes = image.bytesPerPixel();
  const bool wide = image.bitsPerPixel() == 16 || image.bitsPerPixel() >= 48;
  const int32_t samples = wide ? bytes / 2 : bytes;
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = image.row(y);
    for (int32_t x = 0; x < w; ++x) {
      for (int32_t c = 0; c < samples; ++c) {
        const bool fourth = c == 3;
        const uint8_t high =
            fourth ? static_cast<uint8_t>(x * 13 + y * 5 + 1) : pictureValue(x, y, c, w, h);
        if (wide) {
          // 12 significant bits, as frames hold them: the value in bits 4..11 over a texture.
          const auto sample =
              static_cast<uint16_t>(high << 4 | ((x * 31 + y * 17 + c * 5 + 3) & 15));
          row[x * bytes + 2 * c] = static_cast<uint8_t>(sample);
          row[x * bytes + 2 * c + 1] = static_cast<uint8_t>(sample >> 8);
        } else {
          row[x * bytes + c] = high;
        }
      }
    }
  }
}

uint16_t sample16(const imaging::DibImage& image, int32_t x, int32_t y, int32_t index) {
  const uint8_t* p = image.row(y) + x * image.bytesPerPixel() + 2 * index;
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

std::vector<uint8_t> fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void OutputFolderTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("nivexa-output-") + info->test_suite_name() + "-" + info->name();
  std::replace(name.begin(), name.end(), '/', '_');
  dir_ = fs::path(::testing::TempDir()) / name;
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

void OutputFolderTest::TearDown() {
  std::error_code ignored;
  fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(dir_, ignored);
}

std::vector<std::string> OutputFolderTest::entries() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace nivexa::output::testing

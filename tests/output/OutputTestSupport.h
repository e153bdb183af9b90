#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/DibImage.h"

namespace nivexa::output::testing {

namespace fs = std::filesystem;

// A picture whose rows differ from top (dark) to bottom (bright), with fine texture and colour
// that varies by channel, so orientation, channel order and byte order mistakes all show.
// 16-bit samples hold 12 significant bits with distinct low bits; the fourth byte or sample of 32-
// and 64-bit pixels is a pattern of its own (the writers must replace or keep it as documented).
void paintPicture(imaging::DibImage& image);

// The 8-bit value of a channel before widening: a 16-bit sample holds it times 16.
uint8_t pictureValue(int32_t x, int32_t y, int32_t channel, int32_t width, int32_t height);

uint16_t sample16(const imaging::DibImage& image, int32_t x, int32_t y, int32_t index);

std::vector<uint8_t> fileBytes(const fs::path& path);

// A fresh folder per test, removed afterwards.
class OutputFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Names in the folder, hidden temporaries included.
  std::vector<std::string> entries() const;
  fs::path dir_;
};

}  // namespace nivexa::output::testing

#include "dialogs/DialogTexts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace nivexa::dialogs {
namespace {

TEST(DialogTextsTest, EveryTextHasBothLanguagesAndJapaneseIsTranslated) {
  size_t count = 0;
  const TextRow* rows = textTable(count);
  ASSERT_EQ(count, static_cast<size_t>(Text::Count));
  // Texts that are the same in every language: numbers, units, formats, the OK button.
  const std::set<Text> universal = {Text::Ok, Text::ExposureMsecFormat, Text::SizeFormat,
                                    Text::SubSampleFull};
  for (size_t i = 0; i < count; ++i) {
    ASSERT_NE(rows[i].english, nullptr);
    ASSERT_NE(rows[i].japanese, nullptr);
    EXPECT_NE(std::string(rows[i].english), "") << i;
    if (universal.count(rows[i].text) == 0) {
      EXPECT_NE(std::string(rows[i].english), rows[i].japanese) << rows[i].english;
    }
    // Mnemonics survive translation: a text with one keeps exactly one.
    auto marks = [](const std::string& s) { return std::count(s.begin(), s.end(), '&'); };
    EXPECT_EQ(marks(rows[i].english), marks(rows[i].japanese)) << rows[i].english;
    // Printf fields are the same in both, in the same order.
    auto fields = [](const std::string& s) {
      std::string out;
      for (size_t p = s.find('%'); p != std::string::npos; p = s.find('%', p + 1)) {
        out += s.substr(p, 2);
      }
      return out;
    };
    EXPECT_EQ(fields(rows[i].english), fields(rows[i].japanese)) << rows[i].english;
  }
  EXPECT_STREQ(text(Text::ClockNormal, Language::English), "Nomal(24MHz)");
  EXPECT_EQ(formatText(Text::MonochromeDeepFormat, Language::English, 12), "Monochrome 12bit *");
  EXPECT_EQ(formatText(Text::SizeFormat, Language::Japanese, 640, 480), "640 x 480");
}

}  // namespace
}  // namespace nivexa::dialogs

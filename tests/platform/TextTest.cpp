#include "platform/Text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace nivexa::platform {
namespace {

TEST(Text, AsciiRoundTripsInTheDefaultLocale) {
  EXPECT_EQ(wideToNarrow(L"C:/images/a.bmp", 1024), "C:/images/a.bmp");
  EXPECT_EQ(narrowToWide("NivexaM7QXTEC_01", 256), L"NivexaM7QXTEC_01");
}

TEST(Text, ResultMustFitWithItsTerminator) {
  const std::wstring exact(1023, L'a');
  EXPECT_TRUE(wideToNarrow(exact.c_str(), 1024).has_value());
  const std::wstring tooLong(1024, L'a');
  EXPECT_FALSE(wideToNarrow(tooLong.c_str(), 1024).has_value());
  EXPECT_FALSE(narrowToWide(std::string(256, 'x').c_str(), 256).has_value());
  EXPECT_TRUE(narrowToWide(std::string(255, 'x').c_str(), 256).has_value());
}

TEST(Text, UnrepresentableCharactersFail) {
  // The "C" locale has no encoding for characters outside ASCII.
  EXPECT_FALSE(wideToNarrow(L"\u65e5\u672c", 1024).has_value());
  EXPECT_FALSE(wideToNarrow(nullptr, 1024).has_value());
  EXPECT_FALSE(narrowToWide(nullptr, 1024).has_value());
}

TEST(Text, ThreadLocaleDecidesTheEncoding) {
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (utf8 == nullptr) {
    GTEST_SKIP() << "no C.UTF-8 locale on this machine";
  }
  locale_t previous = uselocale(utf8);
  const auto narrow = wideToNarrow(L"\u65e5\u672c", 1024);
  ASSERT_TRUE(narrow.has_value());
  EXPECT_EQ(narrow->size(), 6u);
  EXPECT_EQ(narrowToWide(narrow->c_str(), 16), L"\u65e5\u672c");
  uselocale(previous);
  freelocale(utf8);
}

}  // namespace
}  // namespace nivexa::platform

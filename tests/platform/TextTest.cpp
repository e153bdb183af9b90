#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

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

TEST(Text, ThreadCodePageDecidesTheEncodingForThatThreadOnly) {
  JapaneseThreadText japanese;
  ASSERT_TRUE(japanese.available()) << "the system has no locale with Japanese text";
  const auto narrow = wideToNarrow(L"\u65e5\u672c", 1024);
  ASSERT_TRUE(narrow.has_value());
  // Two characters of two (Shift-JIS) or three (UTF-8) bytes each.
  EXPECT_TRUE(narrow->size() == 4 || narrow->size() == 6) << narrow->size();
  EXPECT_EQ(narrowToWide(narrow->c_str(), 16), L"\u65e5\u672c");
  EXPECT_FALSE(wideToNarrow(L"\u65e5\u672c", narrow->size()).has_value())
      << "no room for the terminator";
  EXPECT_FALSE(wideToNarrow(L"\u65e5", 1024, CodePage::Process).has_value())
      << "the process code page is not the thread's";
  std::thread other([] { EXPECT_FALSE(wideToNarrow(L"\u65e5", 1024).has_value()); });
  other.join();
}

TEST(Text, ThreadCodePageIsRestoredAfterUse) {
  { JapaneseThreadText japanese; }
  EXPECT_FALSE(wideToNarrow(L"\u65e5", 1024).has_value());
  EXPECT_EQ(wideToNarrow(L"plain", 1024, CodePage::Process), "plain");
  EXPECT_EQ(narrowToWide("plain", 8, CodePage::Process), L"plain");
}

}  // namespace
}  // namespace nivexa::platform

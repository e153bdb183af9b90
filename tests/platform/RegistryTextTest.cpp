#include "platform/RegistryText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace nivexa::platform::regtext {
namespace {

const std::string kPrefix = std::string(kHeader) + "\r\n\r\n[HKEY_CURRENT_USER\\Software\\K]\r\n";

// One value line under one key: what it yields, or that it fails the file.
struct ValueLineCase {
  const char* line;
  bool ok;
  const char* name = "";
  uint32_t type = 0;
  std::vector<uint8_t> data = {};
};

std::vector<ValueLineCase> valueLineCases() {
  return {
      // DWORDs: exactly eight hex digits, either case.
      {"\"A\"=dword:00000040", true, "A", kTypeDword, {0x40, 0, 0, 0}},
      {"\"A\"=dword:FFFFFF01", true, "A", kTypeDword, {0x01, 0xFF, 0xFF, 0xFF}},
      {"\"A\"=dword:7b14ae47", true, "A", kTypeDword, {0x47, 0xAE, 0x14, 0x7B}},
      {"\"A\"=dword:00000040   ", true, "A", kTypeDword, {0x40, 0, 0, 0}},
      {"\"A\" = dword:00000001", true, "A", kTypeDword, {1, 0, 0, 0}},
      {"\"A\"=dword:0000040", false},
      {"\"A\"=dword:000000040", false},
      {"\"A\"=dword:", false},
      {"\"A\"=dword:0000004g", false},
      {"\"A\"=dword:-0000001", false},
      {"\"A\"=dword: 00000040", false},
      {"\"A\"=dword:00000040;", false},
      {"\"A\"=DWORD:00000040", false},
      {"\"A\"=dword:0x000040", false},
      // Binary values.
      {"\"B\"=hex:7b,14,ae,47,e1,7a,84,3f",
       true,
       "B",
       kTypeBinary,
       {0x7b, 0x14, 0xae, 0x47, 0xe1, 0x7a, 0x84, 0x3f}},
      {"\"B\"=hex:", true, "B", kTypeBinary, {}},
      {"\"B\"=hex:00", true, "B", kTypeBinary, {0}},
      {"\"B\"=hex:0A, 0b ,FF", true, "B", kTypeBinary, {0x0a, 0x0b, 0xff}},
      {"\"B\"=hex:7b,14,", false},
      {"\"B\"=hex:7,14", false},
      {"\"B\"=hex:7b14", false},
      {"\"B\"=hex:7b,,14", false},
      {"\"B\"=hex:zz", false},
      {"\"B\"=hex:7b 14", false},
      {"\"B\"=hex:,", false},
      {"\"B\"=hex:7b,14\\", false},
      // Typed hex and strings are kept, with their type.
      {"\"T\"=hex(4):40,00,00,00", true, "T", kTypeDword, {0x40, 0, 0, 0}},
      {"\"T\"=hex(2):41,00,00,00", true, "T", 2, {0x41, 0, 0, 0}},
      {"\"T\"=hex(b):01", true, "T", 0xb, {1}},
      {"\"T\"=hex(0):", true, "T", 0, {}},
      {"\"T\"=hex():01", false},
      {"\"T\"=hex(123456789):01", false},
      {"\"T\"=hex(x):01", false},
      {"\"T\"=hex(4:01", false},
      {"\"S\"=\"text\"", true, "S", kTypeString, {'t', 'e', 'x', 't'}},
      {"\"S\"=\"\"", true, "S", kTypeString, {}},
      {"\"S\"=\"a\\\\b\\\"c\"", true, "S", kTypeString, {'a', '\\', 'b', '"', 'c'}},
      {"\"S\"=\"open", false},
      {"\"S\"=\"a\"b\"", false},
      {"\"S\"=\"bad\\escape\"", false},
      {"\"S\"=\"tab\there\"", false},
      // Names.
      {"@=dword:00000001", true, "", kTypeDword, {1, 0, 0, 0}},
      {"\"\"=dword:00000001", true, "", kTypeDword, {1, 0, 0, 0}},
      {"\"with space\"=dword:00000002", true, "with space", kTypeDword, {2, 0, 0, 0}},
      {"\"q\\\"uote\"=dword:00000003", true, "q\"uote", kTypeDword, {3, 0, 0, 0}},
      {"\"back\\\\slash\"=dword:00000004", true, "back\\slash", kTypeDword, {4, 0, 0, 0}},
      {"\"A\"dword:00000001", false},
      {"\"A\"==dword:00000001", false},
      {"\"A=dword:00000001", false},
      {"\"A\"=", false},
      {"\"A\"=garbage", false},
      {"\"A\"=number:5", false},
      {"A=dword:00000001", false},
      {" \"A\"=dword:00000001", false},
  };
}

TEST(RegistryText, ValueLines) {
  for (const auto& c : valueLineCases()) {
    SCOPED_TRACE(c.line);
    const ParseResult result = parse(kPrefix + c.line + "\r\n");
    ASSERT_EQ(result.ok, c.ok) << result.error;
    if (!c.ok) {
      EXPECT_EQ(result.errorLine, 4u);
      EXPECT_FALSE(result.error.empty());
      EXPECT_TRUE(result.document.keys().empty());
      continue;
    }
    const Key* key = result.document.find("Software\\K");
    ASSERT_NE(key, nullptr);
    const Value* value = key->find(c.name);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->name, c.name);
    EXPECT_EQ(value->type, c.type);
    EXPECT_EQ(value->data, c.data);
  }
}

// Whole-file shapes: headers, key lines, comments, line ends.
struct FileCase {
  const char* label;
  std::string text;
  bool ok;
};

std::vector<FileCase> fileCases() {
  const std::string h(kHeader);
  return {
      {"header only", h + "\r\n", true},
      {"header without line end", h, true},
      {"LF line ends", h + "\n\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:00000001\n", true},
      {"UTF-8 byte order mark", "\xEF\xBB\xBF" + h + "\r\n", true},
      {"comments and blank lines", h + "\r\n; note\r\n   \r\n[HKEY_CURRENT_USER\\A]\r\n;x\r\n",
       true},
      {"root key", h + "\r\n[HKEY_CURRENT_USER]\r\n\"v\"=dword:00000001\r\n", true},
      {"root in lower case", h + "\r\n[hkey_current_user\\A]\r\n", true},
      {"key with trailing blanks", h + "\r\n[HKEY_CURRENT_USER\\A]  \r\n", true},
      {"key removal", h + "\r\n[HKEY_CURRENT_USER\\A]\r\n[-HKEY_CURRENT_USER\\A]\r\n", true},
      {"value removal", h + "\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=-\r\n", true},
      {"hex over three lines",
       h + "\r\n[HKEY_CURRENT_USER\\A]\r\n\"b\"=hex:01,02,\\\r\n  03,04,\\\r\n  05\r\n", true},
      {"empty file", "", false},
      {"old header", "REGEDIT4\r\n", false},
      {"header with a typo", "Windows Registry Editor Version 5.01\r\n", false},
      {"header not first", "\r\n" + h + "\r\n", false},
      {"value before any key", h + "\r\n\"v\"=dword:00000001\r\n", false},
      {"value after a removed key", h + "\r\n[-HKEY_CURRENT_USER\\A]\r\n\"v\"=dword:00000001\r\n",
       false},
      {"other root", h + "\r\n[HKEY_LOCAL_MACHINE\\A]\r\n", false},
      {"root prefix only", h + "\r\n[HKEY_CURRENT_USERX\\A]\r\n", false},
      {"unclosed key", h + "\r\n[HKEY_CURRENT_USER\\A\r\n", false},
      {"empty key component", h + "\r\n[HKEY_CURRENT_USER\\A\\\\B]\r\n", false},
      {"trailing separator", h + "\r\n[HKEY_CURRENT_USER\\A\\]\r\n", false},
      {"empty brackets", h + "\r\n[]\r\n", false},
      {"component of 256 characters",
       h + "\r\n[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\r\n", false},
      {"component of 255 characters",
       h + "\r\n[HKEY_CURRENT_USER\\" + std::string(255, 'k') + "]\r\n", true},
      {"stray text", h + "\r\nhello\r\n", false},
      {"zero byte",
       h + "\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=dword:0000" + std::string(1, '\0') + "0001\r\n",
       false},
      {"hex cut short at the end", h + "\r\n[HKEY_CURRENT_USER\\A]\r\n\"b\"=hex:01,\\\r\n", false},
      {"hex continued by a blank line", h + "\r\n[HKEY_CURRENT_USER\\A]\r\n\"b\"=hex:01,\\\r\n\r\n",
       false},
      {"hex continued by garbage", h + "\r\n[HKEY_CURRENT_USER\\A]\r\n\"b\"=hex:01,\\\r\n  [x]\r\n",
       false},
      {"UTF-16 export", std::string("\xFF\xFEW\0i\0", 6), false},
  };
}

TEST(RegistryText, FileShapes) {
  for (const auto& c : fileCases()) {
    SCOPED_TRACE(c.label);
    const ParseResult result = parse(c.text);
    EXPECT_EQ(result.ok, c.ok) << "line " << result.errorLine << ": " << result.error;
  }
}

TEST(RegistryText, RepeatedNamesAndKeysMergeWithTheLastValueWinning) {
  const std::string text = std::string(kHeader) +
                           "\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=dword:00000001\r\n"
                           "\"w\"=dword:00000002\r\n\"V\"=dword:00000003\r\n"
                           "[HKEY_CURRENT_USER\\a]\r\n\"x\"=hex:09\r\n\"w\"=hex:01\r\n";
  const ParseResult result = parse(text);
  ASSERT_TRUE(result.ok) << result.error;
  ASSERT_EQ(result.document.keys().size(), 1u);
  const Key* key = result.document.find("A");
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->values().size(), 3u);
  EXPECT_EQ(key->find("v")->data, dwordBytes(3));
  EXPECT_EQ(key->find("w")->type, kTypeBinary);
  EXPECT_EQ(key->values().front().name, "V");  // replaced in place, spelled as last written
}

TEST(RegistryText, RemovalsTakeSubtreesAndValuesButLeaveTheParent) {
  const std::string text = std::string(kHeader) +
                           "\r\n[HKEY_CURRENT_USER\\P\\A\\deep]\r\n[HKEY_CURRENT_USER\\P\\AB]\r\n"
                           "\"keep\"=dword:00000001\r\n\"drop\"=dword:00000002\r\n\"drop\"=-\r\n"
                           "[-HKEY_CURRENT_USER\\P\\A]\r\n";
  const ParseResult result = parse(text);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_FALSE(result.document.exists("P\\A"));
  EXPECT_FALSE(result.document.exists("P\\A\\deep"));
  EXPECT_TRUE(result.document.exists("P"));
  EXPECT_TRUE(result.document.exists("P\\AB"));
  EXPECT_NE(result.document.find("P\\AB")->find("keep"), nullptr);
  EXPECT_EQ(result.document.find("P\\AB")->find("drop"), nullptr);
}

std::string seedText(const char* name) {
  std::ifstream in(std::filesystem::path(NIVEXA_REGISTRY_SEEDS) / name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The fixture is what Wine's "regedit /E" wrote after importing gain.reg: UTF-16LE with a byte
// order mark, the editor's default, with the parent keys spelled out and values sorted by name.
TEST(RegistryText, ExportsInUtf16ReadAsTheSameDocument) {
  const std::string exported = seedText("wine-export-utf16.reg");
  ASSERT_TRUE(exported.starts_with("\xFF\xFE"));
  const ParseResult original = parse(seedText("gain.reg"));
  ASSERT_TRUE(original.ok);
  const ParseResult result = parse(exported);
  ASSERT_TRUE(result.ok) << "line " << result.errorLine << ": " << result.error;
  const Key* gain = result.document.find("Software\\Oblent\\NivexaM7QXTEC3R5Sdk\\Camera_00\\Gain");
  ASSERT_NE(gain, nullptr);
  EXPECT_EQ(gain->find("Global")->data, dwordBytes(0x40));
  EXPECT_EQ(gain->find("ExposureEx")->data,
            original.document.find("Software\\Oblent\\NivexaM7QXTEC3R5Sdk\\Camera_00\\Gain")
                ->find("ExposureEx")
                ->data);
  EXPECT_EQ(parse(write(result.document)).document, result.document);
  // Without the byte order mark, as other tools write it.
  const ParseResult bare = parse(std::string_view(exported).substr(2));
  ASSERT_TRUE(bare.ok) << bare.error;
  EXPECT_EQ(bare.document, result.document);

  // A name beyond the basic plane travels as a surrogate pair and arrives as UTF-8.
  std::string wide = exported;
  const std::string global("G\0l\0o\0b\0a\0l\0", 12);
  wide.replace(wide.find(global), global.size(), std::string("\x3D\xD8\x00\xDE", 4));
  const ParseResult astral = parse(wide);
  ASSERT_TRUE(astral.ok) << astral.error;
  EXPECT_NE(astral.document.find("Software\\Oblent\\NivexaM7QXTEC3R5Sdk\\Camera_00\\Gain")
                ->find("\xF0\x9F\x98\x80"),
            nullptr);

  // Damage that no UTF-16 text has fails the file rather than being guessed at.
  EXPECT_FALSE(parse(exported.substr(0, exported.size() - 1)).ok) << "an odd byte count";
  std::string lone = exported;
  lone.replace(lone.find(global), 2, std::string("\x00\xD8", 2));
  EXPECT_FALSE(parse(lone).ok) << "a lone surrogate";
}

// A store edited for years is a long run of settings and removals; reading it must not take
// the square of its length while every other access waits on the lock.
TEST(RegistryText, ManyRemovalsReadInLinearTime) {
  constexpr int kValues = 40000;
  constexpr int kKeptEvery = 1000;
  std::string text = std::string(kHeader) + "\r\n[HKEY_CURRENT_USER\\K]\r\n";
  for (int i = 0; i < kValues; ++i) {
    text += "\"v" + std::to_string(i) + "\"=dword:00000001\r\n";
  }
  for (int i = 0; i < kValues; ++i) {
    if (i % kKeptEvery != 0) {
      text += "\"V" + std::to_string(i) + "\"=-\r\n";
    }
  }
  text += "\"v500\"=dword:00000002\r\n";
  const auto start = std::chrono::steady_clock::now();
  const ParseResult result = parse(text);
  // A fraction of a second, and a few under a sanitizer; the square of the length took minutes.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_TRUE(result.ok) << result.error;
  std::vector<std::string> names;
  for (const Value& value : result.document.find("K")->values()) {
    names.push_back(value.name);
  }
  std::vector<std::string> expected;
  for (int i = 0; i < kValues; i += kKeptEvery) {
    expected.push_back("v" + std::to_string(i));
  }
  expected.push_back("v500");
  EXPECT_EQ(names, expected);
  EXPECT_EQ(result.document.find("K")->find("v1"), nullptr);
  EXPECT_EQ(result.document.find("K")->find("v1000")->data, dwordBytes(1));
}

TEST(RegistryText, ParentsExistImplicitlyAndSubkeysListOncePerName) {
  Document document;
  document.create("S\\Product\\Camera_00\\Gain");
  document.create("S\\Product\\Camera_00\\Filter");
  document.create("S\\Product\\camera_01");
  document.create("S\\Product\\Camera_0");
  document.create("S\\ProductX");
  EXPECT_TRUE(document.exists("s\\PRODUCT"));
  EXPECT_EQ(document.find("S\\Product"), nullptr);
  EXPECT_FALSE(document.exists("S\\Prod"));
  EXPECT_EQ(document.subkeyNames("S\\Product"),
            (std::vector<std::string>{"Camera_0", "Camera_00", "camera_01"}));
  EXPECT_EQ(document.subkeyNames("S\\Product\\Camera_00"),
            (std::vector<std::string>{"Filter", "Gain"}));
  EXPECT_EQ(document.subkeyNames(""), (std::vector<std::string>{"S"}));
}

TEST(RegistryText, KeysDeeperThanWindowsAllowsAreRefusedWithoutRecursion) {
  std::string path;
  for (int level = 0; level < 10000; ++level) {
    path += level == 0 ? "k" : "\\k";
  }
  EXPECT_FALSE(validKeyPath(path));
  const ParseResult deep =
      parse(std::string(kHeader) + "\r\n[HKEY_CURRENT_USER\\" + path + "]\r\n");
  EXPECT_FALSE(deep.ok);
  EXPECT_EQ(deep.errorLine, 2u);

  std::string deepest;
  for (size_t level = 0; level < kMaxKeyDepth; ++level) {
    deepest += level == 0 ? "k" : "\\k";
  }
  const ParseResult limit =
      parse(std::string(kHeader) + "\r\n[HKEY_CURRENT_USER\\" + deepest + "]\r\n\"v\"=hex:01\r\n");
  ASSERT_TRUE(limit.ok) << limit.error;
  EXPECT_TRUE(limit.document.exists("k\\k\\k"));
  EXPECT_EQ(parse(write(limit.document)).document, limit.document);
}

TEST(RegistryText, WriterOutputReadsBackToTheSameDocument) {
  Document document;
  Key& gain = document.create("Software\\Oblent\\Product\\Camera_00\\Gain");
  gain.set({"Global", kTypeDword, Form::Dword, dwordBytes(0x40)});
  gain.set({"Brightness", kTypeDword, Form::Dword, dwordBytes(0xFFFFFF01)});
  gain.set(
      {"ExposureEx", kTypeBinary, Form::Hex, {0x7b, 0x14, 0xae, 0x47, 0xe1, 0x7a, 0x84, 0x3f}});
  std::vector<uint8_t> long_(300);
  for (size_t i = 0; i < long_.size(); ++i) {
    long_[i] = static_cast<uint8_t>(i);
  }
  gain.set({"Long \"quoted\" \\ name", kTypeBinary, Form::Hex, long_});
  gain.set({"", 7, Form::TypedHex, {0x41, 0, 0, 0}});
  gain.set({"Text", kTypeString, Form::String, {'a', '"', '\\'}});
  gain.set({"Odd dword", kTypeDword, Form::TypedHex, {1, 2}});
  document.create("Software\\Oblent\\Product\\Size_00");
  document.create("");

  const std::string text = write(document);
  const ParseResult again = parse(text);
  ASSERT_TRUE(again.ok) << "line " << again.errorLine << ": " << again.error << "\n" << text;
  EXPECT_EQ(again.document, document);
  EXPECT_EQ(write(again.document), text);

  // The layout a person sees, and that regedit imports.
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Oblent\\Product\\Camera_00\\Gain]\r\n"
                      "\"Global\"=dword:00000040\r\n\"Brightness\"=dword:ffffff01\r\n"
                      "\"ExposureEx\"=hex:7b,14,ae,47,e1,7a,84,3f\r\n"),
            std::string::npos);
  size_t lineStart = 0;
  while (lineStart < text.size()) {
    const size_t end = text.find("\r\n", lineStart);
    EXPECT_LE(end - lineStart, 80u);
    lineStart = end + 2;
  }
}

}  // namespace
}  // namespace nivexa::platform::regtext

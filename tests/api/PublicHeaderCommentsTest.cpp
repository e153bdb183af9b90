// Every declaration an application sees carries its comment: the headers are the reference.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "HeaderComments.h"

namespace nivexa::api::testing {
namespace {

std::string lines(const std::vector<Undocumented>& found) {
  std::string text;
  for (const auto& entry : found) {
    text += std::to_string(entry.line) + ": " + entry.text + "\n";
  }
  return text;
}

TEST(PublicHeaderComments, EveryDeclarationOfEveryPublicHeaderHasOne) {
  int headers = 0;
  for (const auto& entry : std::filesystem::directory_iterator(NIVEXA_PUBLIC_INCLUDE_DIR)) {
    if (entry.path().extension() != ".h") {
      continue;
    }
    ++headers;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    const auto found = undocumentedDeclarations(text.str());
    EXPECT_TRUE(found.empty()) << entry.path().filename() << " lacks comments at\n" << lines(found);
  }
  EXPECT_GE(headers, 1);
}

TEST(PublicHeaderComments, CheckerFindsWhatLacksAComment) {
  const std::string header = R"(/* The file's own comment. */
#ifndef GUARD_H
#define GUARD_H
#define DOCUMENTED 1 /* trailing */
#define BARE 2

/* A group heading, then a blank line: it documents nothing by itself. */

int bare(int a);
/* Above, ending right before it. */
int above(int a,
          int b);
int spread(int a,
           int b); /* trailing on its last line */
typedef struct Record { /* the record */
  int kept;  /* field comment */
  int naked;
} Record;
enum Codes {
  CODE_A = 0, /* a */
  CODE_B = 1
};
// line comment above
int lineAbove(void);
#endif
)";
  const auto found = undocumentedDeclarations(header);
  ASSERT_EQ(found.size(), 5u) << lines(found);
  EXPECT_EQ(found[0].text, "#define BARE 2");
  EXPECT_EQ(found[1].text, "int bare(int a);");
  EXPECT_EQ(found[2].text, "int naked;");
  EXPECT_EQ(found[3].text, "enum Codes {");
  EXPECT_EQ(found[4].text, "CODE_B = 1");
}

}  // namespace
}  // namespace nivexa::api::testing

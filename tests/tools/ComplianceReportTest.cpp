#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Glob.h"
#include "JunitWriter.h"

namespace nivexa::compliance {
namespace {

TEST(ComplianceFilter, StarAndQuestionMarkMatchAsInAShell) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*", "", true},
      {"", "", true},
      {"", "a", false},
      {"startstop.*", "startstop.preview-cycles", true},
      {"startstop.*", "acquire.startstop", false},
      {"*cycles", "resources.stream-cycles", true},
      {"*cycles", "resources.stream-cycles2", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c", "abbc", false},
      // A later `*` must take over where an earlier one matched too little.
      {"*ab*ab", "xabyabab", true},
      {"*a*a*a", "aaa", true},
      {"*a*a*a", "aa", false},
      {"**", "x", true},
      {"a*", "b", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(globMatch(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
  }
}

// The report must stay well-formed whatever a failure's reason holds, and count each outcome
// where a CI server looks for it: a known failure is not a failure there.
TEST(ComplianceReport, ReasonsAreEscapedAndOutcomesCounted) {
  const std::string nasty = "<a & \"b\" 'c'>\x01\x7f";
  const std::vector<ScenarioRecord> records = {
      {"group.passed", pass(), 0.5},
      {"group.failed", fail(nasty), 1.25},
      {"group.skipped", skip("needs a cooler"), 0.0},
      {"other.known", {Outcome::KnownFailure, "known failure: x"}, 2.0},
  };
  const auto path = std::filesystem::temp_directory_path() / "nivexa-compliance-report-test.xml";
  ASSERT_TRUE(writeJunit(path.string(), records));
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  in.close();
  std::filesystem::remove(path);
  const std::string xml = content.str();

  EXPECT_NE(xml.find("<testsuite name=\"nivexa compliance\" tests=\"4\" failures=\"1\" "
                     "errors=\"0\" skipped=\"2\" time=\"3.750\">"),
            std::string::npos)
      << xml;
  const std::string escaped = "&lt;a &amp; &quot;b&quot; &apos;c&apos;&gt;?\x7f";
  EXPECT_NE(xml.find("<failure message=\"" + escaped + "\">" + escaped + "</failure>"),
            std::string::npos)
      << xml;
  EXPECT_EQ(xml.find('\x01'), std::string::npos) << "a control character XML cannot hold";
  EXPECT_NE(xml.find("<testcase classname=\"compliance.other\" name=\"other.known\" "
                     "time=\"2.000\">\n    <skipped message=\"known failure: x\"/>"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<testcase classname=\"compliance.group\" name=\"group.passed\" "
                     "time=\"0.500\"/>"),
            std::string::npos)
      << xml;
}

}  // namespace
}  // namespace nivexa::compliance

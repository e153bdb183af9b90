#pragma once

#include <string>
#include <vector>

#include "Scenario.h"

namespace nivexa::compliance {

struct ScenarioRecord {
  std::string name;
  Result result;
  double seconds = 0.0;
};

// The text with the five XML specials as entities and the control characters XML 1.0 cannot
// hold at all replaced, so any reason a library puts in an error text stays well-formed.
std::string xmlEscaped(const std::string& text);

// The JUnit XML report of one run: one testsuite, one testcase per scenario, a failure element
// for a failure, a skipped element for a skip and for a known failure (which must not fail a
// CI job that reads the file). False when the file cannot be written.
bool writeJunit(const std::string& path, const std::vector<ScenarioRecord>& records);

}  // namespace nivexa::compliance

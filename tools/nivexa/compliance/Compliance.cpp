#include "Compliance.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "Glob.h"
#include "JunitWriter.h"
#include "Runner.h"

namespace nivexa::compliance {

namespace {

constexpr int kStatusFailed = 1;
constexpr int kStatusUsage = 2;

// The filter is a comma-separated list of patterns; a scenario runs when one of them matches.
bool matchesAny(const std::string& filter, const std::string& name) {
  size_t start = 0;
  while (true) {
    const size_t comma = filter.find(',', start);
    const auto pattern = std::string_view(filter).substr(
        start, comma == std::string::npos ? std::string::npos : comma - start);
    if (globMatch(pattern, name)) {
      return true;
    }
    if (comma == std::string::npos) {
      return false;
    }
    start = comma + 1;
  }
}

const char* label(Outcome outcome) {
  switch (outcome) {
    case Outcome::Pass:
      return "PASS";
    case Outcome::Fail:
      return "FAIL";
    case Outcome::Skip:
      return "SKIP";
    case Outcome::KnownFailure:
      return "KNOWN";
  }
  return "?";
}

}  // namespace

}  // namespace nivexa::compliance

int runComplianceCommand(const ComplianceRequest& request) {
  using namespace nivexa::compliance;
  Context context;
  context.device = request.device;
  context.repeat = request.repeat;
  context.percent = request.percent;
  context.streamExposureS = request.streamExposureS;
  std::vector<Scenario> selected;
  for (const auto& scenario : allScenarios()) {
    if (matchesAny(request.filter, scenario.name)) {
      selected.push_back(scenario);
    }
  }
  if (selected.empty()) {
    std::fprintf(stderr, "nivexa: no scenario matches '%s'\n", request.filter.c_str());
    return kStatusUsage;
  }
  if (request.list) {
    for (const auto& scenario : selected) {
      std::printf("%-32s %s\n", scenario.name, scenario.description);
    }
    return 0;
  }
  std::vector<ScenarioRecord> records;
  size_t counts[kOutcomeCount] = {};
  bool hung = false;
  for (const auto& scenario : selected) {
    if (hung) {
      // The hung scenario's thread still holds the camera: what follows would measure that.
      records.push_back({scenario.name, skip("not run: an earlier scenario hung"), 0.0});
    } else {
      records.push_back(runScenario(scenario, context, hung));
    }
    const auto& record = records.back();
    ++counts[static_cast<size_t>(record.result.outcome)];
    std::printf("%-5s %-32s %7.2f s%s%s\n", label(record.result.outcome), record.name.c_str(),
                record.seconds, record.result.reason.empty() ? "" : "  ",
                record.result.reason.c_str());
    std::fflush(stdout);
  }
  std::printf("summary: %zu scenarios: %zu passed, %zu failed, %zu known failures, %zu skipped\n",
              records.size(), counts[static_cast<size_t>(Outcome::Pass)],
              counts[static_cast<size_t>(Outcome::Fail)],
              counts[static_cast<size_t>(Outcome::KnownFailure)],
              counts[static_cast<size_t>(Outcome::Skip)]);
  bool written = true;
  if (!request.junit.empty() && !writeJunit(request.junit, records)) {
    std::fprintf(stderr, "nivexa: cannot write %s\n", request.junit.c_str());
    written = false;
  }
  const int status = counts[static_cast<size_t>(Outcome::Fail)] == 0 && written ? 0 : kStatusFailed;
  std::fflush(stdout);
  if (hung) {
    // A thread that cannot be joined would abort a normal exit.
    std::_Exit(status);
  }
  return status;
}

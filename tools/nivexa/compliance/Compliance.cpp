#include "Compliance.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Glob.h"
#include "JunitWriter.h"
#include "Runner.h"

namespace nivexa::compliance {

namespace {

constexpr long kMaxRepeat = 1000;
constexpr long kMaxDevice = 31;
constexpr int kStatusFailed = 1;
constexpr int kStatusUsage = 2;

struct Options {
  Context context;
  std::string filter = "*";
  std::string junit;
  bool list = false;
};

bool parseNumber(const char* text, long low, long high, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && value >= low && value <= high;
}

bool parse(int argc, char** argv, Options& options) {
  for (int i = 2; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--list") {
      options.list = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "nivexa: %s needs a value\n", name.c_str());
      return false;
    }
    const char* value = argv[++i];
    long number = 0;
    if (name == "--filter") {
      options.filter = value;
    } else if (name == "--junit") {
      options.junit = value;
    } else if (name == "--device" && parseNumber(value, 0, kMaxDevice, number)) {
      options.context.device = static_cast<int>(number);
    } else if (name == "--repeat" && parseNumber(value, 1, kMaxRepeat, number)) {
      options.context.repeat = static_cast<int>(number);
    } else if (name == "--scale" && parseNumber(value, 1, Context::kWholePercent, number)) {
      options.context.percent = static_cast<int>(number);
    } else {
      std::fprintf(stderr, "nivexa: bad option %s %s\n", name.c_str(), value);
      return false;
    }
  }
  return true;
}

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

int runComplianceCommand(int argc, char** argv) {
  using namespace nivexa::compliance;
  Options options;
  if (!parse(argc, argv, options)) {
    std::fputs(
        "usage: nivexa compliance [--device N] [--filter GLOB] [--list] [--junit FILE] "
        "[--repeat N] [--scale PERCENT]\n",
        stderr);
    return kStatusUsage;
  }
  std::vector<Scenario> selected;
  for (const auto& scenario : allScenarios()) {
    if (matchesAny(options.filter, scenario.name)) {
      selected.push_back(scenario);
    }
  }
  if (selected.empty()) {
    std::fprintf(stderr, "nivexa: no scenario matches '%s'\n", options.filter.c_str());
    return kStatusUsage;
  }
  if (options.list) {
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
      records.push_back(runScenario(scenario, options.context, hung));
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
  if (!options.junit.empty() && !writeJunit(options.junit, records)) {
    std::fprintf(stderr, "nivexa: cannot write %s\n", options.junit.c_str());
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

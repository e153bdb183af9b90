#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

// One compliance scenario: a named check of one behaviour of the public interface, run against
// whatever camera the user points the tool at.
namespace nivexa::compliance {

enum class Outcome { Pass, Fail, Skip, KnownFailure };
inline constexpr size_t kOutcomeCount = 4;

struct Result {
  Outcome outcome = Outcome::Pass;
  std::string reason;  // why it failed or was skipped; may note something for a pass
};

inline Result pass(std::string note = {}) {
  return {Outcome::Pass, std::move(note)};
}
inline Result fail(std::string reason) {
  return {Outcome::Fail, std::move(reason)};
}
inline Result skip(std::string reason) {
  return {Outcome::Skip, std::move(reason)};
}

struct Context {
  int device = 0;  // camera number as Nivexa_EnumDevice lists it
  int repeat = 1;  // how many times over the long scenarios run their base count
  // The share of the base counts the long scenarios run, for a quick pass in a build's tests;
  // at 100 they run the counts their descriptions name.
  int percent = 100;
  // The exposure the streaming scenarios hold the camera at, so that the host and the link keep
  // up with every frame.
  double streamExposureS = 0.04;

  // `base` scaled by repeat and percent; at least 1.
  int count(int base) const {
    const long scaled = static_cast<long>(base) * repeat * percent / kWholePercent;
    return scaled < 1 ? 1 : static_cast<int>(scaled);
  }

  static constexpr long kWholePercent = 100;
};

using ScenarioFunction = Result (*)(const Context&);

struct Scenario {
  const char* name;
  const char* description;
  ScenarioFunction run;
  // Time the scenario may take at --repeat 1; multiplied by the repeat count when
  // scalesWithRepeat is set.
  std::chrono::seconds timeLimit;
  bool scalesWithRepeat = false;
  // Set for a fault found in the library and not yet mended: the scenario still runs, and a
  // failure is reported as this known failure, counted apart from the others.
  const char* knownFailure = nullptr;
};

// The groups, each in its own file.
void addStartStopScenarios(std::vector<Scenario>& scenarios);
void addAcquisitionScenarios(std::vector<Scenario>& scenarios);
void addBufferAndParameterScenarios(std::vector<Scenario>& scenarios);
void addResourceScenarios(std::vector<Scenario>& scenarios);

// Every scenario, in the order they run.
std::vector<Scenario> allScenarios();

}  // namespace nivexa::compliance

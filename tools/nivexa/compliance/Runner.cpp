#include "Runner.h"

#include <cstdio>
#include <exception>
#include <future>
#include <thread>

namespace nivexa::compliance {

ScenarioRecord runScenario(const Scenario& scenario, const Context& context, bool& hung) {
  using Clock = std::chrono::steady_clock;
  ScenarioRecord record;
  record.name = scenario.name;
  hung = false;
  const auto limit =
      scenario.scalesWithRepeat ? scenario.timeLimit * context.repeat : scenario.timeLimit;
  // The task owns its copy of the context: a hung scenario may outlive this frame.
  std::packaged_task<Result(Context)> task([run = scenario.run](Context copy) {
    try {
      return run(copy);
    } catch (const std::exception& error) {
      return fail(std::string("threw: ") + error.what());
    } catch (...) {
      return fail("threw an unknown exception");
    }
  });
  auto outcome = task.get_future();
  const auto start = Clock::now();
  std::thread worker(std::move(task), context);
  if (outcome.wait_for(limit) != std::future_status::ready) {
    worker.detach();
    hung = true;
    char reason[96];
    std::snprintf(reason, sizeof reason, "did not finish within %lld s (hung)",
                  static_cast<long long>(limit.count()));
    record.result = fail(reason);
  } else {
    worker.join();
    record.result = outcome.get();
  }
  record.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (record.result.outcome == Outcome::Fail && scenario.knownFailure != nullptr) {
    record.result = {Outcome::KnownFailure, std::string("known failure: ") + scenario.knownFailure +
                                                " (" + record.result.reason + ")"};
  }
  return record;
}

}  // namespace nivexa::compliance

#pragma once

#include "JunitWriter.h"
#include "Scenario.h"

namespace nivexa::compliance {

// Runs one scenario on a worker thread and waits for it up to its time limit. `hung` is set
// when it did not return in time: its thread is then still running and holds the camera, so the
// caller must not run another scenario nor end normally (the thread cannot be joined).
ScenarioRecord runScenario(const Scenario& scenario, const Context& context, bool& hung);

}  // namespace nivexa::compliance

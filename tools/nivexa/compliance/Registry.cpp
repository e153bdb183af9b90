#include "Scenario.h"

namespace nivexa::compliance {

std::vector<Scenario> allScenarios() {
  std::vector<Scenario> scenarios;
  addStartStopScenarios(scenarios);
  addAcquisitionScenarios(scenarios);
  addBufferAndParameterScenarios(scenarios);
  addResourceScenarios(scenarios);
  return scenarios;
}

}  // namespace nivexa::compliance

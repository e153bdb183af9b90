#pragma once

namespace nivexa::engine {

// The camera engine behind one camera object: it owns the controller, the sensor driver, the
// capture thread and the frame slots. The camera object reaches the camera only through it.
// Its operations arrive with the engine itself; until then a camera object has no engine and
// every camera operation reports that.
class CNivexaU3R5Base {
 public:
  virtual ~CNivexaU3R5Base() = default;  // 0
};

}  // namespace nivexa::engine

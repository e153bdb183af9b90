#pragma once

#include "engine/CNivexaU3R5Base.h"

namespace nivexa::engine {

// The engine the camera object instantiates: the base engine with its own destructor.
class CNivexaUSB3R5SimpleSdk : public CNivexaU3R5Base {
 public:
  CNivexaUSB3R5SimpleSdk() = default;
  ~CNivexaUSB3R5SimpleSdk() override;  // 0
};

}  // namespace nivexa::engine

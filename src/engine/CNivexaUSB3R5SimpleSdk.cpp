#include "engine/CNivexaUSB3R5SimpleSdk.h"

namespace nivexa::engine {

// Closes here, while the object is still whole, rather than in the base destructor.
CNivexaUSB3R5SimpleSdk::~CNivexaUSB3R5SimpleSdk() {
  CloseCamera();
}

}  // namespace nivexa::engine

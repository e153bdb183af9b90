#include "api/CSdkChain.h"

#include <cstdlib>
#include <vector>

#include "platform/Clock.h"

namespace nivexa::api {

CSdkChain::~CSdkChain() {
  // Deliberately kept past the end of the process (still reachable, so leak checkers agree).
  static auto* abandoned = new std::vector<std::shared_ptr<camera::CNivexa>>();
  drain([](CSDKDATA entry) { abandoned->push_back(std::move(entry.camera)); });
}

CSdkChain& sdkChain() {
  // Never destroyed: the camera objects of handles never released, and their threads, live on
  // until the process ends; nothing of theirs may be torn down under them.
  static auto* chain = new CSdkChain;
  return *chain;
}

int32_t insertNewCamera(std::shared_ptr<camera::CNivexa> camera) {
  auto draw = [](int32_t count) {
    const uint32_t value =
        platform::tickCount() + static_cast<uint32_t>(std::rand()) + static_cast<uint32_t>(count);
    return static_cast<int32_t>(value);
  };
  auto make = [&camera](int32_t handle) { return CSDKDATA{handle, std::move(camera)}; };
  return sdkChain().insertUnique(draw, make);
}

}  // namespace nivexa::api

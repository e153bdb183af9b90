#pragma once

#include <cstdint>
#include <memory>

#include "api/CTRing.h"
#include "camera/CNivexa.h"

namespace nivexa::api {

// One entry of the handle table. The table shares ownership of the camera object with every
// export running on it, so that a release while another thread is still inside an export on
// the same handle only unlists the handle: the object is torn down when the last of those
// exports returns, never under a running call.
struct CSDKDATA {
  int32_t handle = 0;
  std::shared_ptr<camera::CNivexa> camera;
};

class CSdkChain : public CTRing<CSDKDATA> {
 public:
  CSdkChain() = default;
  // At unload the nodes go but the camera objects of handles never released are left alone:
  // tearing them down would join threads and touch the device while the process is exiting.
  ~CSdkChain();
};

// The process's handle table, constructed on first use.
CSdkChain& sdkChain();

// Issues a new handle for a new camera object: tick count + rand() + node count, drawn again
// while it is 0 or already in use.
int32_t insertNewCamera(std::shared_ptr<camera::CNivexa> camera);

}  // namespace nivexa::api

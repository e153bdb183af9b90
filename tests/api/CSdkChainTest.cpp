#include "api/CSdkChain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace nivexa::api {
namespace {

class TracedCamera : public camera::CNivexa {
 public:
  explicit TracedCamera(std::atomic<int>& destroyed) : destroyed_(destroyed) {}
  ~TracedCamera() override { ++destroyed_; }

 private:
  std::atomic<int>& destroyed_;
};

TEST(CSdkChain, NewHandlesAreNonZeroAndDistinct) {
  std::atomic<int> destroyed{0};
  const int32_t first = insertNewCamera(std::make_shared<TracedCamera>(destroyed));
  const int32_t second = insertNewCamera(std::make_shared<TracedCamera>(destroyed));
  EXPECT_NE(first, 0);
  EXPECT_NE(second, 0);
  EXPECT_NE(first, second);
  EXPECT_TRUE(sdkChain().remove(first));
  EXPECT_TRUE(sdkChain().remove(second));
  EXPECT_EQ(destroyed.load(), 2);
}

TEST(CSdkChain, RemovedCameraLivesUntilTheLastRunningCallLetsGo) {
  std::atomic<int> destroyed{0};
  const int32_t handle = insertNewCamera(std::make_shared<TracedCamera>(destroyed));
  auto inFlight = sdkChain().lookup(handle);  // what an export holds while it runs
  ASSERT_TRUE(inFlight);
  ASSERT_TRUE(sdkChain().remove(handle));
  EXPECT_FALSE(sdkChain().lookup(handle)) << "the handle is gone for new calls at once";
  EXPECT_EQ(destroyed.load(), 0) << "but the object stays while a call still uses it";
  inFlight.reset();
  EXPECT_EQ(destroyed.load(), 1);
}

}  // namespace
}  // namespace nivexa::api

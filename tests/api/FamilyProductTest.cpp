// A camera of another product of the family, seen through the exports.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "camera/CameraTestSupport.h"

namespace nivexa::camera::test {
namespace {

bool sentFrameRequest(const sim::Camera& camera) {
  const auto requests = camera.requests();
  return std::any_of(requests.begin(), requests.end(),
                     [](const sim::DriverRequest& r) { return r.request == 0xC2; });
}

TEST(OtherFamilyProduct, FailsWithError2AndLeavesTheHandleUsable) {
  sim::CameraOptions otherOptions = fastCamera("VC0101");
  otherOptions.productId = 0x31B0;
  auto other = sim::createCamera(otherOptions);
  Sink notify;
  const LONG h = Nivexa_Initialize(notify);
  ASSERT_NE(h, 0);
  drainErrors(h);
  EXPECT_EQ(Nivexa_SetDeviceNumber(h, 0), 0);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{2});
  std::vector<uint8_t> image(kFullFrame8);
  EXPECT_EQ(Nivexa_SnapShot(h, image.data(), static_cast<LONG>(image.size()), 1), 0);
  drainErrors(h);

  auto ours = sim::createCamera(fastCamera("VC0102"));
  char names[10][256] = {};
  EXPECT_GE(Nivexa_EnumDevice(h, names), 1);
  ASSERT_EQ(Nivexa_SetDeviceNumber(h, 0), 1);
  // Chosen while no camera was open, a colour mode gives way to what this sensor delivers.
  EXPECT_EQ(Nivexa_GetColorMode(h), 8);
  EXPECT_EQ(Nivexa_SnapShot(h, image.data(), static_cast<LONG>(image.size()), 1), 1);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});
  EXPECT_TRUE(std::any_of(image.begin(), image.end(), [](uint8_t v) { return v != 0; }));
  EXPECT_FALSE(sentFrameRequest(*other)) << "nothing streamed from the other product";
  Nivexa_Release(h);
  sim::removeCamera(ours);
  sim::removeCamera(other);
}

}  // namespace
}  // namespace nivexa::camera::test

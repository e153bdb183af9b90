// The device catalogue through its public header: the USB identities the library drives, and
// virtual cameras asked for by the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "NivexaDevices.h"
#include "camera/CameraTestSupport.h"
#include "platform/Process.h"

namespace nivexa::camera::test {
namespace {

constexpr uint16_t kUnwritten = 0xBEEF;

std::vector<NivexaUsbProduct> allProducts() {
  const int32_t count = NivexaDevices_UsbProducts(nullptr, 0);
  std::vector<NivexaUsbProduct> products(static_cast<size_t>(std::max(count, 0)));
  EXPECT_EQ(NivexaDevices_UsbProducts(products.data(), count), count);
  return products;
}

TEST(DeviceCatalog, ListsWhatTheLibraryOpensWithinTheRoomGiven) {
  EXPECT_EQ(NivexaDevices_UsbProducts(nullptr, 1), -1);
  NivexaUsbProduct one{kUnwritten, kUnwritten};
  EXPECT_EQ(NivexaDevices_UsbProducts(&one, -1), -1);
  EXPECT_EQ(one.vendorId, kUnwritten);

  const std::vector<NivexaUsbProduct> products = allProducts();
  ASSERT_GT(products.size(), 1u);
  // The identity the camera itself reports is among them: the list and the device agree.
  const sim::CameraOptions camera;
  EXPECT_TRUE(std::any_of(products.begin(), products.end(), [&](const NivexaUsbProduct& p) {
    return p.vendorId == camera.vendorId && p.productId == camera.productId;
  }));
  std::set<std::pair<uint16_t, uint16_t>> distinct;
  for (const NivexaUsbProduct& p : products) {
    distinct.emplace(p.vendorId, p.productId);
  }
  EXPECT_EQ(distinct.size(), products.size());

  // Less room than products: the count of all, and nothing written past the room.
  std::vector<NivexaUsbProduct> two(2, NivexaUsbProduct{kUnwritten, kUnwritten});
  EXPECT_EQ(NivexaDevices_UsbProducts(two.data(), 1), static_cast<int32_t>(products.size()));
  EXPECT_EQ(two[0].productId, products[0].productId);
  EXPECT_EQ(two[1].vendorId, kUnwritten);
  EXPECT_EQ(two[1].productId, kUnwritten);

  // Cameras built with another vendor ID: each product under each vendor, none twice.
  ASSERT_TRUE(platform::setEnvironmentVariable("NIVEXA_USB_VENDOR_IDS", "1d6b, 04b4"));
  const std::vector<NivexaUsbProduct> more = allProducts();
  ASSERT_TRUE(platform::setEnvironmentVariable("NIVEXA_USB_VENDOR_IDS", nullptr));
  EXPECT_EQ(more.size(), 2 * products.size());
  EXPECT_EQ(std::count_if(more.begin(), more.end(),
                          [](const NivexaUsbProduct& p) { return p.vendorId == 0x1d6b; }),
            static_cast<std::ptrdiff_t>(products.size()));
}

TEST(DeviceCatalog, VirtualCamerasOnRequestComeAndGoWhileNoCameraIsOpen) {
  ASSERT_TRUE(platform::setEnvironmentVariable("NIVEXA_VIRTUAL_CAMERAS", nullptr));
  Sink notify;
  const LONG h = Nivexa_Initialize(notify);
  ASSERT_NE(h, 0);
  drainErrors(h);
  char names[10][256] = {};
  const LONG before = Nivexa_EnumDevice(h, names);

  ASSERT_EQ(NivexaDevices_UseVirtualCameras("serial=CAT001,pacing=fast;serial=CAT002,pacing=fast"),
            1);
  EXPECT_EQ(Nivexa_EnumDevice(h, names), before + 2);
  // A description the library cannot read changes nothing.
  EXPECT_EQ(NivexaDevices_UseVirtualCameras("pacing=sideways"), 0);
  EXPECT_EQ(Nivexa_EnumDevice(h, names), before + 2);
  // Once the program has asked, the variable no longer counts.
  ASSERT_TRUE(platform::setEnvironmentVariable("NIVEXA_VIRTUAL_CAMERAS", "3"));
  EXPECT_EQ(Nivexa_EnumDevice(h, names), before + 2);
  ASSERT_TRUE(platform::setEnvironmentVariable("NIVEXA_VIRTUAL_CAMERAS", nullptr));

  // An open camera stays, however the request changes; the next enumeration after it closes
  // takes the cameras away.
  ASSERT_EQ(Nivexa_SetDeviceNumber(h, before), 1);
  EXPECT_EQ(NivexaDevices_UseVirtualCameras(nullptr), 1);
  char serial[64] = "";
  EXPECT_EQ(Nivexa_ReadSerialNumberA(h, serial, sizeof serial), 1);
  EXPECT_STREQ(serial, "CAT001");
  ASSERT_EQ(Nivexa_Close(h), 1);
  EXPECT_EQ(Nivexa_EnumDevice(h, names), before);
  EXPECT_EQ(drainErrors(h), std::vector<LONG>{});
  Nivexa_Release(h);
}

}  // namespace
}  // namespace nivexa::camera::test

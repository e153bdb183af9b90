// The libusb backend against the emulated bus (run under nivexa-usb-emulator): the request
// records the controller sends, carried out on the emulated cameras; a whole frame read into the
// caller's buffer as several transfers in flight; and the abort of the frame endpoint.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "sim/Camera.h"
#include "sim/CameraOptions.h"
#include "sim/FpgaRegisterMap.h"
#include "sim/Fx3FirmwareMap.h"
#include "transport/RequestRecord.h"
#include "transport/drivers/DriverRecord.h"
#include "transport/drivers/LibusbBackend.h"

namespace {

namespace fx3 = nivexa::sim::fx3;
namespace fpga = nivexa::sim::fpga;
using namespace nivexa::transport;
using nivexa::platform::Event;
using nivexa::sim::Camera;
using nivexa::sim::CameraOptions;

constexpr int kCameraCount = NIVEXA_USB_TEST_CAMERA_COUNT;
constexpr uint32_t kSixteenBitPixelBytes = 2;
constexpr uint32_t kFrameBytes =
    uint32_t{fpga::kPowerUpWidth} * fpga::kPowerUpHeight * kSixteenBitPixelBytes;
constexpr size_t kSerialBytes = 32;
constexpr double kBytesPerMiB = 1024.0 * 1024.0;
constexpr size_t kWaitingTransfers = 3;
constexpr uint32_t kWaitMs = 5000;
constexpr auto kSettle = std::chrono::milliseconds(100);

std::vector<CameraOptions> emulatedCameras() {
  std::string text;
  for (int i = 0; i < kCameraCount; ++i) {
    text += std::string(i > 0 ? ";" : "") + NIVEXA_USB_TEST_OPTIONS;
  }
  std::string error;
  auto list = nivexa::sim::parseCameraList(text, error);
  return list ? *list : std::vector<CameraOptions>{};
}

uint32_t u32(std::span<const uint8_t> b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

// A vendor request block as the controller builds it: the record, then the data area.
VendorBlock vendorBlock(const Camera::ControlSetup& setup, std::span<const uint8_t> data) {
  RequestRecord r;
  r.requestType = setup.requestType;
  r.request = setup.request;
  r.value = setup.value;
  r.index = setup.index;
  return encodeVendorBlock(r, data).value();
}

std::array<uint8_t, DriverRecord::kSize> bulkRecord(uint8_t endpoint) {
  std::array<uint8_t, DriverRecord::kSize> record{};
  RequestRecord r;
  r.endpoint = endpoint;
  encodeRequestRecord(r, record);
  return record;
}

class LibusbBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = LibusbBackend::create();
    ASSERT_TRUE(backend_) << "libusb did not start";
    paths_ = backend_->enumerate(kCameraInterfaceGuid);
  }

  bool vendor(DeviceHandle h, const Camera::ControlSetup& setup, std::span<const uint8_t> data,
              std::span<uint8_t> reply = {}) {
    auto block = vendorBlock(setup, data);
    IoResult r = backend_->ioctl(h, kIoctlVendorRequest, block, block, nullptr);
    std::copy_n(block.begin() + DriverRecord::kSize, std::min(reply.size(), block.size()),
                reply.begin());
    return r.ok;
  }

  std::shared_ptr<LibusbBackend> backend_;
  std::vector<std::string> paths_;
};

TEST_F(LibusbBackendTest, ListsEachCameraByPortAndOpensItsOwnFirmware) {
  const std::vector<CameraOptions> expected = emulatedCameras();
  ASSERT_EQ(paths_.size(), expected.size());
  for (size_t i = 0; i < paths_.size(); ++i) {
    SCOPED_TRACE(paths_[i]);
    char head[64];
    std::snprintf(head, sizeof head, "\\\\?\\usb#vid_%04x&pid_%04x#1-%zu#{", expected[i].vendorId,
                  expected[i].productId, i + 1);
    EXPECT_EQ(paths_[i].rfind(head, 0), 0u);
    // Two handles share the device; closing one leaves the other working.
    DeviceHandle first = backend_->open(paths_[i], true);
    DeviceHandle second = backend_->open(paths_[i], false);
    ASSERT_NE(first, kInvalidDeviceHandle);
    ASSERT_NE(second, kInvalidDeviceHandle);
    backend_->close(first);
    std::array<uint8_t, fx3::kControlBufferSize> info{};
    ASSERT_TRUE(vendor(second, {fx3::kTypeVendorIn, fx3::kExtendedInfo, 0, 0, 0}, {}, info));
    std::string serial(reinterpret_cast<const char*>(info.data() + fx3::kExtSerial), kSerialBytes);
    EXPECT_EQ(serial.c_str(), expected[i].serial);
    std::array<uint8_t, 4> speed{};
    IoResult r = backend_->ioctl(second, kIoctlBusSpeed, {}, speed, nullptr);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(u32(speed, 0), fx3::kSuperSpeed);
    // A request the firmware does not know stalls, and the record says so.
    auto block = vendorBlock({fx3::kTypeVendorIn, 0x01, 0, 0, 0}, {});
    r = backend_->ioctl(second, kIoctlVendorRequest, block, block, nullptr);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, kErrorGenFailure);
    EXPECT_NE(decodeDriverRecord(block)->usbStatus, 0u);
    backend_->close(second);
  }
  EXPECT_EQ(backend_->open("\\\\?\\usb#vid_04b4&pid_33d0#9-9#{x}", true), kInvalidDeviceHandle);
}

TEST_F(LibusbBackendTest, ReadsAWholeFrameIntoTheCallersBufferAsTheModelRendersIt) {
  ASSERT_FALSE(paths_.empty());
  DeviceHandle h = backend_->open(paths_[0], true);
  ASSERT_NE(h, kInvalidDeviceHandle);
  Camera reference(emulatedCameras().at(0));
  std::vector<uint8_t> depth{fpga::kOutputDepth, 0, fpga::kDepth16};
  const std::vector<std::pair<Camera::ControlSetup, std::vector<uint8_t>>> requests{
      {{fx3::kTypeVendorOut, fx3::kBusWrite, static_cast<uint16_t>(depth.size()), fx3::kFpgaAddress,
        static_cast<uint16_t>(depth.size())},
       depth},
      {{fx3::kTypeVendorOut, fx3::kStartStream, 0, 0, 0}, {}},
      {{fx3::kTypeVendorOutEndpoint, fx3::kRequestFrame, 0, fx3::kFrameEndpoint, 0}, {}},
  };
  for (const auto& [setup, data] : requests) {
    ASSERT_TRUE(vendor(h, setup, data));
    std::vector<uint8_t> copy = data;
    ASSERT_TRUE(reference.control(setup, copy).ok);
  }
  std::array<uint8_t, fx3::kFrameHeaderSize> referenceHeader{};
  ASSERT_EQ(reference.bulk(fx3::kFrameEndpoint, referenceHeader).status, Camera::BulkStatus::Done);
  std::vector<uint8_t> expected(kFrameBytes);
  for (uint32_t at = 0; at < kFrameBytes;) {
    auto r = reference.bulk(fx3::kFrameEndpoint, std::span(expected).subspan(at));
    ASSERT_EQ(r.status, Camera::BulkStatus::Done);
    at += r.bytes;
  }

  auto record = bulkRecord(fx3::kFrameEndpoint);
  std::array<uint8_t, fx3::kFrameHeaderSize> header{};
  IoResult r = backend_->ioctl(h, kIoctlDirectTransfer, record, header, nullptr);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.bytesReturned, header.size());
  ASSERT_EQ(u32(header, fx3::kHeaderPayloadLength), kFrameBytes);
  // The whole payload in one request: more than one transfer's worth, read in place.
  std::vector<uint8_t> payload(kFrameBytes);
  Event done(Event::Reset::Auto);
  Overlapped overlapped(done);
  auto start = std::chrono::steady_clock::now();
  r = backend_->ioctl(h, kIoctlDirectTransfer, record, payload, &overlapped);
  ASSERT_EQ(r.error, kErrorIoPending);
  ASSERT_TRUE(done.wait(kWaitMs));
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  r = backend_->overlappedResult(h, overlapped, false);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.bytesReturned, kFrameBytes);
  std::printf("libusb backend read a %.1f MiB payload in %.3f s (%.0f MiB/s)\n",
              kFrameBytes / kBytesPerMiB, took.count(), kFrameBytes / kBytesPerMiB / took.count());
  auto mismatch = std::mismatch(payload.begin(), payload.end(), expected.begin());
  EXPECT_EQ(mismatch.first, payload.end())
      << "first difference at byte " << (mismatch.first - payload.begin());
  EXPECT_GT(std::set<uint8_t>(payload.begin(), payload.end()).size(), 2u) << "a blank frame";
  backend_->close(h);
}

TEST_F(LibusbBackendTest, AbortOfTheFrameEndpointEndsEveryTransferInFlightBeforeItReturns) {
  // Not the camera the frame test left streaming: this one has nothing to send.
  ASSERT_FALSE(paths_.empty());
  DeviceHandle h = backend_->open(paths_.back(), true);
  ASSERT_NE(h, kInvalidDeviceHandle);
  // No frame was requested: the transfers wait until aborted.
  struct Waiting {
    Event done{Event::Reset::Auto};
    Overlapped overlapped{done};
    std::array<uint8_t, DriverRecord::kSize> record = bulkRecord(fx3::kFrameEndpoint);
    std::vector<uint8_t> data = std::vector<uint8_t>(2 * LibusbBackend::kChunkBytes);
  };
  std::vector<std::unique_ptr<Waiting>> waiting;
  for (size_t i = 0; i < kWaitingTransfers; ++i) {
    auto& w = waiting.emplace_back(std::make_unique<Waiting>());
    IoResult r = backend_->ioctl(h, kIoctlDirectTransfer, w->record, w->data, &w->overlapped);
    ASSERT_EQ(r.error, kErrorIoPending);
  }
  std::this_thread::sleep_for(kSettle);
  for (auto& w : waiting) {
    EXPECT_FALSE(w->overlapped.completed.load());
  }
  Event abortDone(Event::Reset::Auto);
  Overlapped abortRecord(abortDone);
  std::array<uint8_t, 1> endpoint{fx3::kFrameEndpoint};
  IoResult r = backend_->ioctl(h, kIoctlAbortPipe, endpoint, {}, &abortRecord);
  EXPECT_TRUE(r.ok || r.error == kErrorIoPending);
  for (auto& w : waiting) {
    EXPECT_TRUE(w->overlapped.completed.load()) << "still in flight after the abort returned";
    IoResult result = backend_->overlappedResult(h, w->overlapped, true);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, kErrorOperationAborted);
    EXPECT_NE(decodeDriverRecord(w->record)->driverStatus, 0u);
  }
  // The endpoint still works after the abort.
  std::array<uint8_t, fx3::kControlBufferSize> info{};
  EXPECT_TRUE(vendor(h, {fx3::kTypeVendorIn, fx3::kDeviceInfo, 0, 0, 0}, {}, info));
  backend_->close(h);
}

}  // namespace

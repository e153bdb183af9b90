// Plain libusb against the emulated bus (run under nivexa-usb-emulator): enumeration, the
// firmware's vendor requests, a whole frame through queued asynchronous bulk transfers, and
// cancellation — what a libusb camera backend relies on. The frame is checked against a second
// instance of the camera model driven the same way.
#include <gtest/gtest.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "sim/Camera.h"
#include "sim/CameraOptions.h"
#include "sim/FpgaRegisterMap.h"
#include "sim/Fx3FirmwareMap.h"

namespace {

namespace fx3 = nivexa::sim::fx3;
namespace fpga = nivexa::sim::fpga;
using nivexa::sim::Camera;
using nivexa::sim::CameraOptions;

constexpr int kCameraCount = NIVEXA_USB_TEST_CAMERA_COUNT;
constexpr uint16_t kFx3VendorId = 0x04B4;
constexpr int kSuperSpeedBulkPacket = 1024;
constexpr uint32_t kSixteenBitPixelBytes = 2;
constexpr uint8_t kSixteenBits = 16;
constexpr unsigned kTimeoutMs = 5000;
constexpr int kTransferBytes = 1 << 20;
constexpr uint32_t kFrameBytes =
    uint32_t{fpga::kPowerUpWidth} * fpga::kPowerUpHeight * kSixteenBitPixelBytes;
constexpr uint8_t kUnknownVendorRequest = 0x01;
constexpr uint32_t kSerialBytes = 32;
constexpr double kBytesPerMiB = 1024.0 * 1024.0;
constexpr auto kPendingCheck = std::chrono::milliseconds(100);
constexpr int kMicrosPerMilli = 1000;

// The emulator's cameras: the same option list for each, numbered by position.
std::vector<CameraOptions> emulatedCameras() {
  std::string text;
  for (int i = 0; i < kCameraCount; ++i) {
    text += std::string(i > 0 ? ";" : "") + NIVEXA_USB_TEST_OPTIONS;
  }
  std::string error;
  auto list = nivexa::sim::parseCameraList(text, error);
  return list ? *list : std::vector<CameraOptions>{};
}

struct ContextExit {
  void operator()(libusb_context* c) const { libusb_exit(c); }
};
struct HandleClose {
  void operator()(libusb_device_handle* h) const { libusb_close(h); }
};
struct TransferFree {
  void operator()(libusb_transfer* t) const { libusb_free_transfer(t); }
};
using Context = std::unique_ptr<libusb_context, ContextExit>;
using Handle = std::unique_ptr<libusb_device_handle, HandleClose>;
using Transfer = std::unique_ptr<libusb_transfer, TransferFree>;

Context openContext() {
  libusb_context* c = nullptr;
  return Context(libusb_init(&c) == LIBUSB_SUCCESS ? c : nullptr);
}

// The cameras on the bus, in address order (the emulator's order).
std::vector<Handle> openCameras(libusb_context* context) {
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(context, &list);
  std::vector<libusb_device*> cameras;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(list[i], &d) == LIBUSB_SUCCESS && d.idVendor == kFx3VendorId) {
      cameras.push_back(list[i]);
    }
  }
  std::sort(cameras.begin(), cameras.end(), [](libusb_device* a, libusb_device* b) {
    return libusb_get_device_address(a) < libusb_get_device_address(b);
  });
  std::vector<Handle> handles;
  for (libusb_device* device : cameras) {
    libusb_device_handle* h = nullptr;
    handles.emplace_back(libusb_open(device, &h) == LIBUSB_SUCCESS ? h : nullptr);
  }
  if (count >= 0) {
    libusb_free_device_list(list, 1);
  }
  return handles;
}

int vendorIn(libusb_device_handle* h, uint8_t request, std::span<uint8_t> data) {
  return libusb_control_transfer(h, fx3::kTypeVendorIn, request, 0, 0, data.data(),
                                 static_cast<uint16_t>(data.size()), kTimeoutMs);
}

uint16_t u16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t u32(std::span<const uint8_t> b, size_t at) {
  return u16(b, at) | (uint32_t{u16(b, at + 2)} << 16);
}

// The requests that make the camera send one 16-bit frame, as setup packets with their data.
struct Request {
  Camera::ControlSetup setup;
  std::vector<uint8_t> data;
};
std::vector<Request> sixteenBitFrameRequests() {
  std::vector<uint8_t> depth{fpga::kOutputDepth, 0, fpga::kDepth16};  // register, BE word
  return {
      {{fx3::kTypeVendorOut, fx3::kBusWrite, static_cast<uint16_t>(depth.size()), fx3::kFpgaAddress,
        static_cast<uint16_t>(depth.size())},
       depth},
      {{fx3::kTypeVendorOut, fx3::kStartStream, 0, 0, 0}, {}},
      {{fx3::kTypeVendorOutEndpoint, fx3::kRequestFrame, 0, fx3::kFrameEndpoint, 0}, {}},
  };
}

struct Queued {
  Transfer transfer;
  std::vector<uint8_t> buffer;
  bool done = false;
};

void LIBUSB_CALL markDone(libusb_transfer* t) {
  static_cast<Queued*>(t->user_data)->done = true;
}

void submitBulkIn(libusb_device_handle* h, Queued& q, int length) {
  q.buffer.assign(static_cast<size_t>(length), 0);
  q.transfer.reset(libusb_alloc_transfer(0));
  libusb_fill_bulk_transfer(q.transfer.get(), h, fx3::kFrameEndpoint, q.buffer.data(), length,
                            markDone, &q, kTimeoutMs);
  ASSERT_EQ(libusb_submit_transfer(q.transfer.get()), LIBUSB_SUCCESS);
}

// Runs libusb's events until `done` or the time limit.
bool await(libusb_context* context, const std::function<bool()>& done,
           std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) {
      return false;
    }
    timeval tv{0, kMicrosPerMilli};
    libusb_handle_events_timeout_completed(context, &tv, nullptr);
  }
  return true;
}

TEST(LibusbCamera, ListsEachCameraWithItsDescriptorsAndReachesItsOwnFirmware) {
  const std::vector<CameraOptions> expected = emulatedCameras();
  ASSERT_EQ(expected.size(), size_t{kCameraCount});
  Context context = openContext();
  ASSERT_TRUE(context);
  std::vector<Handle> cameras = openCameras(context.get());
  ASSERT_EQ(cameras.size(), expected.size());
  for (size_t i = 0; i < cameras.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(cameras[i]) << "open failed";
    libusb_device* device = libusb_get_device(cameras[i].get());
    libusb_device_descriptor d{};
    ASSERT_EQ(libusb_get_device_descriptor(device, &d), LIBUSB_SUCCESS);
    EXPECT_EQ(d.idProduct, expected[i].productId);
    EXPECT_EQ(libusb_get_device_speed(device), LIBUSB_SPEED_SUPER);
    libusb_config_descriptor* config = nullptr;
    ASSERT_EQ(libusb_get_active_config_descriptor(device, &config), LIBUSB_SUCCESS);
    ASSERT_EQ(config->bNumInterfaces, 1);
    const libusb_interface_descriptor& in = config->interface[0].altsetting[0];
    std::set<std::pair<int, int>> endpoints;
    for (int e = 0; e < in.bNumEndpoints; ++e) {
      EXPECT_EQ(in.endpoint[e].bmAttributes, LIBUSB_TRANSFER_TYPE_BULK);
      endpoints.insert({in.endpoint[e].bEndpointAddress, in.endpoint[e].wMaxPacketSize});
    }
    libusb_free_config_descriptor(config);
    EXPECT_EQ(endpoints, (std::set<std::pair<int, int>>{{fx3::kCommandEndpoint, 1024},
                                                        {fx3::kFrameEndpoint, 1024}}));
    // Each node leads to its own camera: the serial comes from that camera's firmware.
    ASSERT_EQ(libusb_claim_interface(cameras[i].get(), 0), LIBUSB_SUCCESS);
    std::array<uint8_t, fx3::kControlBufferSize> info{};
    ASSERT_EQ(vendorIn(cameras[i].get(), fx3::kDeviceInfo, info), int{info.size()});
    EXPECT_EQ(u16(info, fx3::kInfoVendorId), expected[i].vendorId);
    EXPECT_EQ(u16(info, fx3::kInfoProductId), expected[i].productId);
    ASSERT_EQ(vendorIn(cameras[i].get(), fx3::kExtendedInfo, info), int{info.size()});
    std::string serial(reinterpret_cast<const char*>(info.data() + fx3::kExtSerial), kSerialBytes);
    EXPECT_EQ(serial.c_str(), expected[i].serial);
    EXPECT_EQ(libusb_release_interface(cameras[i].get(), 0), LIBUSB_SUCCESS);
  }
}

TEST(LibusbCamera, StreamsAWholeFrameThroughQueuedTransfersAsTheModelRendersIt) {
  Context context = openContext();
  ASSERT_TRUE(context);
  std::vector<Handle> cameras = openCameras(context.get());
  ASSERT_FALSE(cameras.empty());
  libusb_device_handle* h = cameras[0].get();
  ASSERT_EQ(libusb_claim_interface(h, 0), LIBUSB_SUCCESS);

  // The same camera, driven the same way, shows what the frame must be.
  Camera reference(emulatedCameras().at(0));
  for (Request& r : sixteenBitFrameRequests()) {
    ASSERT_EQ(libusb_control_transfer(h, r.setup.requestType, r.setup.request, r.setup.value,
                                      r.setup.index, r.data.data(), r.setup.length, kTimeoutMs),
              int{r.setup.length});
    ASSERT_TRUE(reference.control(r.setup, r.data).ok);
  }
  std::array<uint8_t, fx3::kFrameHeaderSize> referenceHeader{};
  ASSERT_EQ(reference.bulk(fx3::kFrameEndpoint, referenceHeader).status, Camera::BulkStatus::Done);
  std::vector<uint8_t> expected(kFrameBytes);
  for (uint32_t at = 0; at < kFrameBytes;) {
    auto r = reference.bulk(fx3::kFrameEndpoint, std::span(expected).subspan(at));
    ASSERT_EQ(r.status, Camera::BulkStatus::Done);
    ASSERT_GT(r.bytes, 0u);
    at += r.bytes;
  }

  // Header and payload transfers all queued at once, as a streaming backend keeps them.
  std::vector<Queued> queue(1 + kFrameBytes / kTransferBytes);
  auto start = std::chrono::steady_clock::now();
  submitBulkIn(h, queue[0], fx3::kFrameHeaderSize);
  for (size_t i = 1; i < queue.size(); ++i) {
    submitBulkIn(h, queue[i], kTransferBytes);
  }
  ASSERT_TRUE(await(
      context.get(),
      [&] {
        return std::all_of(queue.begin(), queue.end(), [](const Queued& q) { return q.done; });
      },
      std::chrono::milliseconds(kTimeoutMs)));
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("emulated usbfs moved a %.1f MiB frame in %.3f s (%.0f MiB/s)\n",
              kFrameBytes / kBytesPerMiB, took.count(), kFrameBytes / kBytesPerMiB / took.count());

  ASSERT_EQ(queue[0].transfer->status, LIBUSB_TRANSFER_COMPLETED);
  ASSERT_EQ(queue[0].transfer->actual_length, int{fx3::kFrameHeaderSize});
  EXPECT_EQ(u32(queue[0].buffer, fx3::kHeaderPayloadLength), kFrameBytes);
  EXPECT_EQ(u16(queue[0].buffer, fx3::kHeaderWidth), fpga::kPowerUpWidth);
  EXPECT_EQ(queue[0].buffer[fx3::kHeaderBits], kSixteenBits);
  std::vector<uint8_t> payload;
  for (size_t i = 1; i < queue.size(); ++i) {
    ASSERT_EQ(queue[i].transfer->status, LIBUSB_TRANSFER_COMPLETED);
    payload.insert(payload.end(), queue[i].buffer.begin(),
                   queue[i].buffer.begin() + queue[i].transfer->actual_length);
  }
  ASSERT_EQ(payload.size(), kFrameBytes);
  auto mismatch = std::mismatch(payload.begin(), payload.end(), expected.begin());
  EXPECT_EQ(mismatch.first, payload.end())
      << "first difference at byte " << (mismatch.first - payload.begin());
  EXPECT_GT(std::set<uint8_t>(payload.begin(), payload.end()).size(), 2u) << "a blank frame";
}

TEST(LibusbCamera, CancelledTransferAndStalledRequestReportTheirFailures) {
  Context context = openContext();
  ASSERT_TRUE(context);
  std::vector<Handle> cameras = openCameras(context.get());
  ASSERT_FALSE(cameras.empty());
  libusb_device_handle* h = cameras[0].get();
  ASSERT_EQ(libusb_claim_interface(h, 0), LIBUSB_SUCCESS);

  std::array<uint8_t, fx3::kControlBufferSize> data{};
  EXPECT_EQ(vendorIn(h, kUnknownVendorRequest, data), LIBUSB_ERROR_PIPE);

  // No frame was requested: the transfer waits until cancelled.
  Queued waiting;
  submitBulkIn(h, waiting, kTransferBytes);
  EXPECT_FALSE(await(
      context.get(), [&] { return waiting.done; }, kPendingCheck));
  ASSERT_EQ(libusb_cancel_transfer(waiting.transfer.get()), LIBUSB_SUCCESS);
  ASSERT_TRUE(await(
      context.get(), [&] { return waiting.done; }, std::chrono::milliseconds(kTimeoutMs)));
  EXPECT_EQ(waiting.transfer->status, LIBUSB_TRANSFER_CANCELLED);
  EXPECT_EQ(waiting.transfer->actual_length, 0);
}

}  // namespace

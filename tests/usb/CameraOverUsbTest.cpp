// The camera object through the public C interface on the emulated bus (run under
// nivexa-usb-emulator, no virtual cameras asked for): every frame comes through the libusb
// backend; the emulator fires trigger inputs and pulls cables when the test asks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "NivexaMessages.h"
#include "NivexaSdk.h"
#include "NivexaStream.h"

namespace {

constexpr int kCameraCount = NIVEXA_USB_TEST_CAMERA_COUNT;
constexpr int kFramesWanted = 3;
constexpr NivexaLong kFrameWaitMs = 10000;
constexpr int32_t kRawFlags = 0;
constexpr size_t kLentBuffers = 2;

class CameraOverUsbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The variable would add virtual cameras beside the emulated ones.
    ASSERT_EQ(std::getenv("NIVEXA_VIRTUAL_CAMERAS"), nullptr);
    h_ = Nivexa_Initialize(nullptr);
    ASSERT_NE(h_, 0);
    char names[10][256] = {};
    ASSERT_EQ(Nivexa_EnumDevice(h_, names), kCameraCount);
    ASSERT_EQ(Nivexa_SetDeviceNumber(h_, 0), 1) << Nivexa_GetLastError(h_);
  }
  void TearDown() override {
    if (h_ != 0) {
      Nivexa_Release(h_);
    }
  }
  size_t frameBytes() const {
    return static_cast<size_t>(Nivexa_Width(h_)) * Nivexa_Height(h_) * 8;  // room for any depth
  }

  NivexaLong h_ = 0;
};

using SinkPtr = std::unique_ptr<std::remove_pointer_t<NivexaWindow>, void (*)(NivexaWindow)>;

SinkPtr makeSink() {
  return SinkPtr(NivexaMsg_CreateSink(), NivexaMsg_DestroySink);
}

// Pulls or plugs a cable on the emulated bus.
void busControl(const std::string& command) {
  const char* path = std::getenv("NIVEXA_USB_EMULATOR_CONTROL");
  ASSERT_NE(path, nullptr) << "not run under the emulator";
  std::ofstream(path) << command << '\n';
}

// The next message of the kind (and, for a device change, the event) that reaches the sink in
// time; others are passed over.
bool awaitMessage(NivexaWindow sink, uint32_t kind, uintptr_t wParam, NivexaMsg& out) {
  while (NivexaMsg_Get(sink, &out, kFrameWaitMs)) {
    if (out.message == kind && (kind != NIVEXA_WM_DEVICECHANGE || out.wParam == wParam)) {
      return true;
    }
  }
  return false;
}

bool varied(const uint8_t* data, size_t size) {
  return std::set<uint8_t>(data, data + size).size() > 2;
}

TEST_F(CameraOverUsbTest, SnapshotTakesAFrameOfTheCamera) {
  std::vector<uint8_t> frame(frameBytes());
  ASSERT_EQ(Nivexa_SnapShot(h_, frame.data(), static_cast<NivexaLong>(frame.size()), 1), 1)
      << Nivexa_GetLastError(h_);
  EXPECT_TRUE(varied(frame.data(), static_cast<size_t>(Nivexa_Width(h_)) * Nivexa_Height(h_)));
}

TEST_F(CameraOverUsbTest, CallbackPreviewDeliversFramesIntoTheBuffer) {
  std::unique_ptr<std::remove_pointer_t<NivexaWindow>, void (*)(NivexaWindow)> sink(
      NivexaMsg_CreateSink(), NivexaMsg_DestroySink);
  ASSERT_TRUE(sink);
  std::vector<uint8_t> frame(frameBytes());
  ASSERT_EQ(Nivexa_CallBackPreview(h_, sink.get(), frame.data(),
                                   static_cast<NivexaLong>(frame.size()), 1),
            1)
      << Nivexa_GetLastError(h_);
  int frames = 0;
  NivexaMsg message;
  while (frames < kFramesWanted && NivexaMsg_Get(sink.get(), &message, kFrameWaitMs)) {
    ASSERT_NE(message.message, NIVEXA_WM_ERROR) << message.lParam;
    frames += message.message == NIVEXA_WM_FRAME && message.wParam != 0;
  }
  EXPECT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_EQ(frames, kFramesWanted);
  EXPECT_TRUE(varied(frame.data(), static_cast<size_t>(Nivexa_Width(h_)) * Nivexa_Height(h_)));
}

TEST_F(CameraOverUsbTest, RawBufferStreamHandsBackCompleteFrames) {
  const uint32_t bytes = NivexaStream_FrameBytes(h_, kRawFlags);
  ASSERT_GT(bytes, 0u);
  std::vector<std::vector<uint8_t>> memory(kLentBuffers, std::vector<uint8_t>(bytes));
  std::vector<NivexaBuffer> buffers(kLentBuffers);
  for (size_t i = 0; i < kLentBuffers; ++i) {
    buffers[i] = NivexaBuffer{};
    buffers[i].data = memory[i].data();
    buffers[i].capacity = bytes;
    ASSERT_EQ(NivexaStream_Queue(h_, &buffers[i]), 1);
  }
  ASSERT_EQ(NivexaStream_Start(h_, kRawFlags), 1) << Nivexa_GetLastError(h_);
  int complete = 0;
  std::set<uint32_t> frameNumbers;
  while (complete < kFramesWanted) {
    NivexaBuffer* back = NivexaStream_Wait(h_, kFrameWaitMs);
    ASSERT_NE(back, nullptr) << "no frame in time";
    ASSERT_EQ(back->status, uint32_t{NIVEXA_BUFFER_COMPLETE});
    EXPECT_TRUE(varied(static_cast<const uint8_t*>(back->data), back->capacity));
    frameNumbers.insert(back->frameNumber);
    ++complete;
    ASSERT_EQ(NivexaStream_Queue(h_, back), 1);
  }
  EXPECT_EQ(NivexaStream_Stop(h_), 1);
  NivexaStreamStatistics statistics{};
  ASSERT_EQ(NivexaStream_GetStatistics(h_, &statistics), 1);
  EXPECT_GE(statistics.framesDelivered, uint64_t{kFramesWanted});
  EXPECT_EQ(statistics.failedTransfers, 0u);
  EXPECT_EQ(frameNumbers.size(), size_t{kFramesWanted}) << "a frame came back twice";
}

TEST_F(CameraOverUsbTest, TriggerModeDeliversAFrameOnlyAfterATriggerPulse) {
  SinkPtr sink = makeSink();
  std::vector<uint8_t> frame(frameBytes());
  ASSERT_EQ(Nivexa_Trigger(h_, sink.get(), frame.data(), static_cast<NivexaLong>(frame.size()), 1),
            1)
      << Nivexa_GetLastError(h_);
  constexpr NivexaLong kQuietMs = 1000;
  NivexaMsg message{};
  EXPECT_FALSE(NivexaMsg_Get(sink.get(), &message, kQuietMs)) << "a frame without a trigger";
  // The pulse exposes a frame only once the camera is armed; until a frame comes, pulse again.
  int frames = 0;
  for (int pulse = 0; pulse < kFramesWanted * 10 && frames < kFramesWanted; ++pulse) {
    busControl("trigger 0");
    if (NivexaMsg_Get(sink.get(), &message, kQuietMs)) {
      ASSERT_EQ(message.message, uint32_t{NIVEXA_WM_FRAME});
      ASSERT_NE(message.wParam, 0u) << "frame error " << message.lParam;
      ++frames;
    }
  }
  EXPECT_EQ(Nivexa_StopPreview(h_), 1);
  EXPECT_EQ(frames, kFramesWanted);
  EXPECT_TRUE(varied(frame.data(), static_cast<size_t>(Nivexa_Width(h_)) * Nivexa_Height(h_)));
}

TEST_F(CameraOverUsbTest, RecordWritesAPlayableFileOfTheCamerasFrames) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("nivexa-usb-record-" + std::to_string(getpid()) + ".avi");
  constexpr NivexaLong kRecordMs = 1000;
  ASSERT_EQ(Nivexa_Record(h_, file.string().c_str(), kRecordMs, 0), 1) << Nivexa_GetLastError(h_);
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * kRecordMs));
  EXPECT_EQ(Nivexa_StopPreview(h_), 1);
  std::ifstream in(file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::filesystem::remove(file);
  ASSERT_GT(bytes.size(), size_t{12});
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(bytes.substr(8, 4), "AVI ");
  // The index closes the file and has one 16-byte entry per recorded frame.
  const size_t index = bytes.rfind("idx1");
  ASSERT_NE(index, std::string::npos) << "the recording was not completed";
  ASSERT_GE(bytes.size(), index + 8);
  const uint32_t indexBytes = static_cast<uint8_t>(bytes[index + 4]) |
                              static_cast<uint8_t>(bytes[index + 5]) << 8 |
                              static_cast<uint8_t>(bytes[index + 6]) << 16 |
                              static_cast<uint32_t>(static_cast<uint8_t>(bytes[index + 7])) << 24;
  EXPECT_GE(indexBytes / 16, 1u) << "no frame recorded";
}

// A cable pulled in the middle of a preview and plugged in again: the preview reports the loss,
// the notification window hears of the removal and the arrival, and the camera opens again.
TEST(CameraHotPlugOverUsb, UnplugMidPreviewIsReportedAndReplugBringsTheCameraBack) {
  SinkPtr notify = makeSink();
  SinkPtr frames = makeSink();
  const NivexaLong h = Nivexa_Initialize(notify.get());
  ASSERT_NE(h, 0);
  ASSERT_EQ(Nivexa_SetDeviceNumber(h, 0), 1) << Nivexa_GetLastError(h);
  std::vector<uint8_t> frame(static_cast<size_t>(Nivexa_Width(h)) * Nivexa_Height(h) * 8);
  const auto size = static_cast<NivexaLong>(frame.size());
  ASSERT_EQ(Nivexa_CallBackPreview(h, frames.get(), frame.data(), size, 1), 1);
  NivexaMsg message{};
  ASSERT_TRUE(awaitMessage(frames.get(), NIVEXA_WM_FRAME, 0, message));

  busControl("unplug 0");
  bool lost = false;
  while (!lost && awaitMessage(frames.get(), NIVEXA_WM_FRAME, 0, message)) {
    lost = message.wParam == 0 && message.lParam == NIVEXA_ERR_STREAM_LOST;
  }
  EXPECT_TRUE(lost) << "the preview announces the lost stream";
  ASSERT_TRUE(
      awaitMessage(notify.get(), NIVEXA_WM_DEVICECHANGE, NIVEXA_DBT_DEVICEREMOVECOMPLETE, message))
      << "no removal notice";
  const auto* removed = reinterpret_cast<const NivexaDeviceInterfaceRecord*>(message.lParam);
  EXPECT_EQ(Nivexa_StopPreview(h), 1);

  busControl("replug 0");
  ASSERT_TRUE(awaitMessage(notify.get(), NIVEXA_WM_DEVICECHANGE, NIVEXA_DBT_DEVICEARRIVAL, message))
      << "no arrival notice";
  const auto* arrived = reinterpret_cast<const NivexaDeviceInterfaceRecord*>(message.lParam);
  EXPECT_STREQ(arrived->name, removed->name) << "the camera came back on its port";
  ASSERT_EQ(Nivexa_SetDeviceNumber(h, 0), 1) << Nivexa_GetLastError(h);
  EXPECT_EQ(Nivexa_SnapShot(h, frame.data(), size, 1), 1) << Nivexa_GetLastError(h);
  Nivexa_Release(h);
}

}  // namespace

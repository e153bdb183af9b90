// The virtual camera's firmware, FPGA and sensor behaviour as the drivers rely on it.

#include "sim/Camera.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sim/FrameTestSupport.h"
#include "sim/SensorRegisterMap.h"
#include "sim/SensorRegisters.h"

namespace nivexa::sim {
namespace {

using namespace testing;
using transport::DeviceHandle;
using transport::testing::get32;

void enterTriggerMode(Rig& rig, uint32_t fpgaExposureLines) {
  rig.fpgaWrite(133, static_cast<uint8_t>(fpgaExposureLines));
  rig.fpgaWrite(134, static_cast<uint8_t>(fpgaExposureLines >> 8));
  rig.fpgaWrite(155, static_cast<uint8_t>(fpgaExposureLines >> 16));
  rig.fpgaWrite(88, 2);
  rig.sensorWrite(0x430, 43);
  rig.sensorWrite(0x432, 1);
  rig.sensorWrite(0x600, 1);
}

TEST(Camera, TemperatureValueIsTwelveBitTwosComplementInEighths) {
  EXPECT_EQ(encodeTemperature(25.0), 0x0C8);
  EXPECT_EQ(encodeTemperature(-1.0), 0xFF8);
  EXPECT_EQ(encodeTemperature(0.125), 0x001);
  EXPECT_DOUBLE_EQ(decodeTemperature(0x0C8), 25.0);
  EXPECT_DOUBLE_EQ(decodeTemperature(0xFF8), -1.0);

  for (auto [ambient, low, high] : {std::tuple{25.0, 0xC8, 0x00}, std::tuple{-1.0, 0xF8, 0x0F}}) {
    CameraOptions o = Rig::fastOptions();
    o.ambientC = ambient;
    Rig rig(o);
    EXPECT_EQ(rig.sensorRead(0x690), low);
    EXPECT_EQ(rig.sensorRead(0x691), high);
    EXPECT_EQ(rig.fpgaRead(229), low);
    EXPECT_EQ(rig.fpgaRead(230), high);
  }
}

TEST(Camera, CoolerPullsTheSensorDownAndTheLatchHoldsTheValue) {
  CameraOptions o = Rig::fastOptions();
  o.thermalScale = 5000;  // seconds of cooling pass in milliseconds
  Rig rig(o);
  rig.sensorWrite(0x788, 1);  // latch the 25 degree value
  rig.fpgaWrite(151, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_NEAR(rig.camera->sensorTemperature(), o.cooledC, 0.5);
  EXPECT_EQ(rig.sensorRead(0x690), 0xC8);
  auto fpgaLow = rig.fpgaRead(229);
  auto fpgaHigh = rig.fpgaRead(230);
  ASSERT_TRUE(fpgaLow && fpgaHigh);
  EXPECT_NEAR(decodeTemperature(static_cast<uint16_t>(*fpgaHigh << 8 | *fpgaLow)), o.cooledC, 0.5);
  rig.sensorWrite(0x788, 0);
  EXPECT_NE(rig.sensorRead(0x690), 0xC8);

  rig.fpgaWrite(151, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_NEAR(rig.camera->sensorTemperature(), o.ambientC, 0.5);

  o.productId = 0x33C0;  // the variant without cooler
  Rig uncooled(o);
  uncooled.fpgaWrite(151, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_NEAR(uncooled.camera->sensorTemperature(), o.ambientC, 0.01);
}

TEST(Camera, BusArbitrationAndForcedBusyBus) {
  Rig rig;
  EXPECT_EQ(rig.fpgaRead(0x02), 0);
  rig.camera->setFault(Fault::BusBusy);
  EXPECT_EQ(rig.fpgaRead(0x02), 0x02);
  EXPECT_FALSE(rig.sensorWrite(0x714, 5));
  EXPECT_FALSE(rig.sensorRead(0x714));
  rig.camera->clearFaults();
  EXPECT_EQ(rig.fpgaRead(0x02), 0);

  rig.camera->clearTrace();
  rig.fpgaWrite(0x9F, 1);
  EXPECT_TRUE(rig.sensorWrite(0x714, 5));
  rig.fpgaWrite(0x9F, 0);
  EXPECT_TRUE(rig.sensorWrite(0x715, 0));
  auto trace = rig.camera->trace();
  ASSERT_EQ(trace.size(), 4u);
  EXPECT_EQ(trace[0].device, 0x40);
  EXPECT_EQ(trace[0].address, 0x9F);
  EXPECT_TRUE(trace[0].write);
  EXPECT_EQ(trace[1].device, 72);
  EXPECT_EQ(trace[1].address, 0x714);
  EXPECT_EQ(trace[1].value, 5);
  EXPECT_TRUE(trace[1].granted);
  EXPECT_FALSE(trace[3].granted);
  EXPECT_LE(trace[0].timeUs, trace[3].timeUs);

  // A busy count wears off after that many polls, as a busy bus that frees itself.
  rig.camera->setFault(Fault::BusBusy, 2);
  EXPECT_EQ(rig.fpgaRead(0x02), 0x02);
  EXPECT_EQ(rig.fpgaRead(0x02), 0x02);
  EXPECT_EQ(rig.fpgaRead(0x02), 0);
}

TEST(Camera, ReadOnlyRegistersKeepTheirValues) {
  Rig rig;
  rig.fpgaWrite(0x10, 0);
  rig.fpgaWrite(0x08, 99);
  EXPECT_EQ(rig.fpgaRead(0x10), 0x30);
  EXPECT_EQ(rig.fpgaRead(0x08), 0);
  rig.sensorWrite(0x020, 0x50);
  rig.sensorWrite(0x040, 1);
  EXPECT_EQ(rig.sensorRead(0x720), 0x50);
  EXPECT_EQ(rig.sensorRead(0x740), 1);
  rig.sensorWrite(0x720, 0);
  EXPECT_EQ(rig.sensorRead(0x720), 0x50);
}

TEST(Camera, TriggerModeReleasesOneFramePerTrigger) {
  Rig rig;
  setWindow(rig, 0, 0, 256, 128);
  setDepth16(rig, true);
  EXPECT_FALSE(rig.camera->fireTrigger());  // free running: the input is ignored
  enterTriggerMode(rig, 1000);
  uint8_t before = rig.fpgaRead(8).value_or(0xEE);
  EXPECT_FALSE(rig.frame(100).ok);  // nothing without a trigger

  ASSERT_TRUE(rig.camera->fireTrigger());
  EXPECT_EQ(rig.fpgaRead(8), static_cast<uint8_t>(before + 1));
  auto f = rig.frame();
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(get32(f.header, 28), 1000u);  // exposed for the FPGA's copy of the lines
  EXPECT_FALSE(rig.frame(100).ok);        // and exactly one frame

  ASSERT_TRUE(rig.camera->fireTrigger());
  double shortExposure = decode(rig.frame()).mean();
  enterTriggerMode(rig, 2000);
  ASSERT_TRUE(rig.camera->fireTrigger());
  double longExposure = decode(rig.frame()).mean();
  EXPECT_NEAR((longExposure - 60) / (shortExposure - 60), 2.0, 0.05);

  // Without the FPGA's trigger control the sensor waits in vain.
  rig.fpgaWrite(88, 0);
  EXPECT_FALSE(rig.camera->fireTrigger());
}

TEST(Camera, FreeRunningFramesFollowTheFramePeriod) {
  CameraOptions o;
  o.pacing = Pacing::Real;
  Camera camera(o);
  std::vector<uint8_t> data(64, 0);
  // 100000 lines of 6.5 us: a frame period of 652 ms.
  for (auto [reg, value] : {std::pair{0x2D4, 0xA0}, {0x2D5, 0x86}, {0x2D6, 0x01}}) {
    data = {0x00, 0x00, 0x00};
    data.resize(64);
    data[0] = static_cast<uint8_t>(reg >> 8);
    data[1] = static_cast<uint8_t>(reg);
    data[2] = static_cast<uint8_t>(value);
    ASSERT_TRUE(camera.control({0x40, 0x30, 3, 72, 102}, data).ok);
  }
  std::vector<uint8_t> request(64, 0);
  std::vector<uint8_t> header(64);
  camera.control({0x42, 0xC2, 0, 0, 102}, request);
  auto first = camera.bulk(0x81, header);
  ASSERT_EQ(first.status, Camera::BulkStatus::Pending);
  auto now = Camera::Clock::now();
  EXPECT_GT(first.retryAt, now);
  EXPECT_LE(first.retryAt, now + std::chrono::milliseconds(653));
}

// A second handle on the camera, or the first one's register calls, are answered while a frame

// At the camera's own timing the sensor exposes on its own clock: frames are rendered while
// nobody reads, the counter moves on by the frames a late host missed, a frame exposed before a
// window change is never handed out with the new window, and an unplug stops it all.
TEST(Camera, FreeRunningSensorExposesOnItsOwnClock) {
  CameraOptions o;
  o.pacing = Pacing::Real;
  Rig rig(o);
  setWindow(rig, 0, 0, 512, 256);
  // 3077 lines of 6.5 us: a frame period of 20 ms.
  constexpr uint32_t kFrameLines = 3077;
  constexpr auto kPeriod = std::chrono::milliseconds(20);
  writeSensor24(rig, 0x2D4, kFrameLines);
  std::atomic<int> renders = 0;
  rig.camera->whileRendering([&] { ++renders; });
  auto first = rig.frame();
  ASSERT_TRUE(first.ok);
  const uint32_t firstCounter = get32(first.header, 32);
  const int rendersBefore = renders;
  std::this_thread::sleep_for(6 * kPeriod);  // well short of the time an idle sensor stops
  EXPECT_GE(renders - rendersBefore, 3) << "the sensor waited for the host";
  // The newest finished frame, or one the sensor finished while the request was on its way.
  const uint32_t newest = rig.camera->frameCount();
  auto late = rig.frame();
  ASSERT_TRUE(late.ok);
  EXPECT_GE(get32(late.header, 32), firstCounter + 4) << "no gap for the frames never read";
  EXPECT_GE(get32(late.header, 32), newest);
  EXPECT_LE(get32(late.header, 32), rig.camera->frameCount());

  setWindow(rig, 0, 0, 256, 128);
  auto resized = rig.frame();
  ASSERT_TRUE(resized.ok);
  EXPECT_EQ(resized.header[8] | (resized.header[9] << 8), 256);
  EXPECT_EQ(resized.payload.size(), 256u * 128u);

  rig.camera->unplug();
  EXPECT_FALSE(rig.frame(100).ok);
  rig.camera->whileRendering(nullptr);
}

// A model that gets no time to render on a busy machine makes fewer frames but skips no frame
// numbers: a host that kept asking must not count the model's shortfall as frames it lost.
TEST(Camera, ModelHeldUpSkipsNoFrameNumbers) {
  CameraOptions o;
  o.pacing = Pacing::Real;
  Rig rig(o);
  setWindow(rig, 0, 0, 512, 256);
  // 3077 lines of 6.5 us: a frame period of 20 ms.
  constexpr uint32_t kFrameLines = 3077;
  writeSensor24(rig, 0x2D4, kFrameLines);
  auto first = rig.frame();
  ASSERT_TRUE(first.ok);
  std::atomic<bool> stall = true;
  rig.camera->whileRendering([&] {
    if (stall.exchange(false)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));  // ten frame periods
    }
  });
  const uint32_t unrenderedBefore = rig.camera->unrenderedFrames();
  auto held = rig.frame();   // the frame whose render was held up, or the one before it
  auto after = rig.frame();  // rendered once the model has found itself behind its clock
  rig.camera->whileRendering(nullptr);
  ASSERT_TRUE(held.ok);
  ASSERT_TRUE(after.ok);
  EXPECT_GE(rig.camera->unrenderedFrames() - unrenderedBefore, 5u) << "the model was not held up";
  EXPECT_LE(get32(after.header, 32), get32(first.header, 32) + 6);
}

// A request waits for a frame exposed with the settings it was made under, but settings changed
// after it do not hold it back: a host that changes the gain all the time still gets frames.
TEST(Camera, SettingsChangedWhileAFrameIsRequestedDoNotStarveTheStream) {
  CameraOptions o;
  o.pacing = Pacing::Real;
  Rig rig(o);
  setWindow(rig, 0, 0, 512, 256);
  // 3077 lines of 6.5 us: a frame period of 20 ms.
  constexpr uint32_t kFrameLines = 3077;
  writeSensor24(rig, 0x2D4, kFrameLines);
  std::atomic<bool> done = false;
  // A change every millisecond: about twenty during each exposure. Without the pause the thread
  // would only measure how much of a core a spinning host leaves the model under a sanitizer.
  std::thread changer([&] {
    for (uint8_t gain = 0; !done; ++gain) {
      rig.sensorWrite(sensor::kGainLow, gain);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  int delivered = 0;
  for (int i = 0; i < 5; ++i) {
    delivered += rig.frame(1000).ok ? 1 : 0;  // 50 frame periods
  }
  done = true;
  changer.join();
  EXPECT_EQ(delivered, 5);
}

// renders; a frame dropped during its render is never handed out.
TEST(Camera, RegisterTrafficDoesNotWaitForARenderAndADroppedRenderIsDiscarded) {
  CameraOptions o;
  o.pacing = Pacing::Fast;
  Camera camera(o);
  // During the render, one control request from another thread, waited for a bounded time (the
  // thread is joined only once the render is over, so a request stuck behind it fails the test
  // instead of hanging it).
  // A sensor register write as the driver sends it (address 0, value 0), and the start of a
  // stream, which drops the frame in progress.
  const Camera::ControlSetup registerWrite{0x40, 0x30, 3, 72, 102};
  const Camera::ControlSetup startStream{0x40, 0xC0, 0, 0, 0};
  Camera::ControlSetup during;
  std::atomic<bool> answered = false;
  bool answeredDuringRender = false;
  std::thread other;
  camera.whileRendering([&] {
    other = std::thread([&] {
      std::vector<uint8_t> data(64, 0);
      answered = camera.control(during, data).ok;
    });
    for (int waited = 0; waited < 10000 && !answered; waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    answeredDuringRender = answered;
  });
  std::vector<uint8_t> header(64);
  const auto frameWith = [&](const Camera::ControlSetup& setup) {
    during = setup;
    answered = false;
    std::vector<uint8_t> frameRequest(64, 0);
    camera.control({0x42, 0xC2, 0, 0, 102}, frameRequest);
    const Camera::BulkStatus status = camera.bulk(0x81, header).status;
    other.join();
    return status;
  };
  EXPECT_EQ(frameWith(registerWrite), Camera::BulkStatus::Done);
  EXPECT_TRUE(answeredDuringRender) << "a register write waited for the render";
  EXPECT_EQ(frameWith(startStream), Camera::BulkStatus::Pending)
      << "the frame dropped during its render was sent";
  EXPECT_TRUE(answeredDuringRender);
  camera.whileRendering(nullptr);
}

TEST(Camera, TransferFaults) {
  Rig rig;
  setWindow(rig, 0, 0, 512, 256);

  rig.camera->setFault(Fault::HeaderTimeout, 1);
  EXPECT_FALSE(rig.frame(100).ok);
  EXPECT_TRUE(rig.frame().ok);

  rig.camera->setFault(Fault::PayloadTimeout, 1);
  EXPECT_FALSE(rig.frame(100).ok);
  EXPECT_TRUE(rig.frame().ok);

  rig.camera->setFault(Fault::WrongPayloadLength, 1);
  auto wrong = rig.frame(100);
  EXPECT_FALSE(wrong.ok);  // the last piece waits for bytes that never come
  ASSERT_EQ(wrong.header.size(), 64u);
  EXPECT_EQ(get32(wrong.header, 16), 512u * 256u + 4096u);

  // A short read ends the frame early: the piece comes back with fewer bytes, and nothing of
  // that frame follows.
  rig.camera->setFault(Fault::ShortRead, 1);
  DeviceHandle h = rig.backend.open(rig.path, true);
  ASSERT_TRUE(rig.requestFrame(h));
  auto header = rig.read(h, 64);
  ASSERT_EQ(header.data.size(), 64u);
  EXPECT_EQ(get32(header.data, 16), 512u * 256u);
  auto piece = rig.read(h, 512 * 256);
  EXPECT_TRUE(piece.io.ok);
  EXPECT_EQ(piece.data.size(), 512u * 256u / 2);
  EXPECT_FALSE(rig.read(h, 512 * 256 / 2, 100).io.ok);

  rig.camera->setFault(Fault::UsbStatus, 1);
  ASSERT_TRUE(rig.requestFrame(h));
  auto failed = rig.read(h, 64);
  EXPECT_FALSE(failed.io.ok);
  EXPECT_NE(get32(failed.record, 18), 0u);
  rig.backend.close(h);

  rig.camera->setFault(Fault::EepromWriteFail, 1);
  EXPECT_FALSE(rig.busWrite(0xA2, {0x00, 0x01, 0x33}));
  EXPECT_TRUE(rig.busWrite(0xA2, {0x00, 0x01, 0x33}));
}

TEST(Camera, ShortReadCompletesThePieceInProgressWithFewerBytes) {
  Rig rig;
  DeviceHandle h = rig.backend.open(rig.path, true);
  auto startFrame = [&] {
    EXPECT_TRUE(rig.requestFrame(h));
    auto header = rig.read(h, 64);
    EXPECT_EQ(header.data.size(), 64u);
    return header.data.size() == 64 ? get32(header.data, 32) : 0u;
  };

  // 0xC0000 bytes: the cut at half falls inside the first 0x80000 piece.
  setWindow(rig, 0, 0, 1024, 768);
  rig.camera->setFault(Fault::ShortRead, 1);
  const uint32_t cutFrame = startFrame();
  auto piece = rig.read(h, 0x80000);
  ASSERT_TRUE(piece.io.ok);
  EXPECT_EQ(piece.data.size(), 0x60000u);
  EXPECT_FALSE(rig.read(h, 0x40000, 100).io.ok) << "the rest of the cut frame never comes";
  EXPECT_EQ(startFrame(), cutFrame + 1) << "a fresh frame, not the rest of the cut one";
  EXPECT_EQ(rig.read(h, 0x80000).data.size(), 0x80000u);
  EXPECT_EQ(rig.read(h, 0x40000).data.size(), 0x40000u);

  // 0x100000 bytes: the cut falls on the end of the first piece, which comes whole; the short
  // packet then ends the next piece at once with nothing instead of letting it wait.
  setWindow(rig, 0, 0, 1024, 1024);
  rig.camera->setFault(Fault::ShortRead, 1);
  startFrame();
  EXPECT_EQ(rig.read(h, 0x80000).data.size(), 0x80000u);
  auto second = rig.read(h, 0x80000);
  EXPECT_TRUE(second.io.ok);
  EXPECT_EQ(second.io.bytesReturned, 0u);
  EXPECT_FALSE(rig.read(h, 0x80000, 100).io.ok);
  startFrame();
  EXPECT_EQ(rig.read(h, 0x80000).data.size(), 0x80000u);
  EXPECT_EQ(rig.read(h, 0x80000).data.size(), 0x80000u);
  rig.backend.close(h);
}

TEST(Camera, FrameRestartDropsTheFrameInProgress) {
  Rig rig;
  setWindow(rig, 0, 0, 512, 256);
  DeviceHandle h = rig.backend.open(rig.path, true);
  ASSERT_TRUE(rig.requestFrame(h));
  ASSERT_EQ(rig.read(h, 64).data.size(), 64u);
  rig.fpgaWrite(0x6C, 1);
  rig.fpgaWrite(0x6C, 0);
  EXPECT_FALSE(rig.read(h, 4096, 100).io.ok);  // the rest of the frame is gone
  ASSERT_TRUE(rig.requestFrame(h));
  auto header = rig.read(h, 64);
  ASSERT_EQ(header.data.size(), 64u);
  EXPECT_EQ(get32(header.data, 32), 2u);
  rig.backend.close(h);
}

}  // namespace
}  // namespace nivexa::sim

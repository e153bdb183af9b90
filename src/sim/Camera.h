#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "platform/Thread.h"
#include "sim/CameraOptions.h"
#include "sim/Eeprom.h"
#include "sim/Faults.h"
#include "sim/Renderer.h"
#include "sim/RequestTrace.h"
#include "sim/SensorRegisters.h"
#include "sim/Thermal.h"
#include "sim/Trace.h"

namespace nivexa::sim {

// One virtual camera: the FX3 firmware with its serial bus (FPGA, auxiliary device, EEPROM,
// sensor), the sensor's timing and image formation, and the frame endpoint. It knows USB only as
// control transfers and bulk transfers; the driver adapter above it speaks the driver's records.
// Every member function may be called from any thread.
//
// At the camera's own timing the sensor runs on a thread of its own while the host streams: it
// renders each frame during the period it is exposed and keeps the last one finished, so a bulk
// read only hands out what is already there and the frame counter advances whether or not the
// host takes the frames. At the fast pacing a frame is rendered the moment it is read.
class Camera {
 public:
  using Clock = std::chrono::steady_clock;

  struct ControlSetup {
    uint8_t requestType = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;
  };
  struct ControlResult {
    bool ok = false;       // false: the firmware stalled the request
    bool answered = true;  // false: the firmware never answered (no data, no stall)
    uint32_t count = 0;    // bytes of the data stage moved
  };
  enum class BulkStatus { Done, Pending, Gone };
  struct BulkResult {
    BulkStatus status = BulkStatus::Pending;
    uint32_t bytes = 0;
    uint32_t usbStatus = 0;
    // Pending: when to ask again; max() means only after a listener call.
    Clock::time_point retryAt = Clock::time_point::max();
  };

  explicit Camera(CameraOptions options);
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;
  ~Camera();

  const CameraOptions& options() const { return options_; }

  // --- USB side ---
  bool plugged() const;
  uint64_t generation() const;  // changes with every replug
  // `data` is the data stage: sent bytes for OUT requests, filled for IN requests.
  ControlResult control(const ControlSetup& setup, std::span<uint8_t> data);
  // One bulk transfer; never blocks. IN endpoints fill `buffer`, OUT endpoints consume it.
  BulkResult bulk(uint8_t endpoint, std::span<uint8_t> buffer);
  void resetPipe(uint8_t endpoint);
  void resetPort();
  uint32_t busSpeed() const { return options_.busSpeed; }
  // The driver in front of the camera logs every request record it decoded for this device.
  void recordRequest(DriverRequest request);
  // Called (from whichever thread changed something) when a pending bulk transfer may now go on.
  int addListener(std::function<void()> listener);
  void removeListener(int id);

  // --- Test and tool controls ---
  void unplug();
  void replug();  // a power cycle: registers back to power-up values, EEPROM kept
  // Fires the external trigger input; true when it exposed a frame.
  bool fireTrigger();
  void setFault(Fault fault, int count = kPersistent);
  void clearFaults();
  // Puts the lens in front of another scene (a flat-field panel, a cap) from the next frame on.
  void setScene(Illumination scene);
  std::vector<TraceEntry> trace() const;
  void clearTrace();
  std::vector<DriverRequest> requests() const;
  void clearRequests();
  double sensorTemperature();
  // Stored register contents, without the side effects of a bus read (registers computed on
  // read, such as the frame counter or the temperature copy, show what was last written).
  uint8_t fpgaRegister(uint8_t reg) const;
  uint8_t sensorRegister(uint16_t address) const;
  uint8_t eepromByte(uint16_t address) const;
  uint32_t frameCount() const;  // frames exposed since power-up
  // The newest frame whose last byte went out over the bulk endpoint: its frame counter and the
  // moment, for measuring how long the host takes from there.
  struct Delivery {
    uint32_t frame = 0;
    Clock::time_point at{};
  };
  Delivery lastDelivery() const;
  // Frame periods of the sensor's clock the model had no time to render (its thread ran late):
  // on a busy machine these, not the host, are why fewer frames come; the counter skips none.
  uint32_t unrenderedFrames() const;
  // The free-running sensor's frame period as its registers now stand.
  double framePeriodUs() const;
  ImageSettings imageSettings();  // what the next frame would be rendered with
  // Runs `hook` on the rendering thread (the reading one at the fast pacing) in the middle of each
  // frame's rendering, which the camera does outside its lock: tests of what may overlap a render.
  void whileRendering(std::function<void()> hook);

 private:
  enum class Stage { Idle, Rendering, Header, Payload, ShortPacket, Stalled };
  struct Exposure {
    uint32_t lines = 0;
    double us = 0;
    Clock::time_point readyAt{};
  };

  void powerUp(Clock::time_point now);
  bool consumeFault(Fault fault);
  void record(uint8_t device, bool write, uint16_t address, uint8_t value, bool granted = false);
  bool busWrite(uint8_t device, std::span<const uint8_t> bytes, Clock::time_point now);
  bool busRead(uint8_t device, std::span<uint8_t> out, Clock::time_point now);
  uint8_t readFpga(uint8_t reg, Clock::time_point now);
  void writeFpga(uint8_t reg, uint8_t value, Clock::time_point now);
  uint16_t temperatureRaw(Clock::time_point now);
  bool hasCooler() const;
  void dropFrame();
  void armFrame(Clock::time_point now);
  Exposure freeRunExposure(const SensorSettings& s) const;
  ImageSettings imageSettingsLocked(const Exposure& exposure, Clock::time_point now);
  // Renders the frame without holding the camera's lock; false when the frame was dropped, or
  // the camera unplugged, meanwhile.
  bool renderFrame(std::unique_lock<std::mutex>& lock, const ImageSettings& settings);
  void startFrame(const ImageSettings& settings, const Exposure& exposure, uint32_t frame,
                  Clock::time_point now);
  // The frame path at the camera's own timing; `lock` holds the camera's lock.
  BulkResult takeFinishedFrame(const SensorSettings& s, Clock::time_point now);
  bool sensorRunsFreely(const SensorSettings& s) const;
  // Starts the sensor's clock thread unless it runs; called under the camera's lock.
  void runSensorClock(Clock::time_point now);
  void sensorClockBody();
  void notify();

  const CameraOptions options_;
  Illumination scene_;
  const Clock::time_point created_;

  mutable std::mutex mutex_;
  bool plugged_ = true;
  uint64_t generation_ = 1;
  std::array<int, kFaultCount> faults_{};
  std::vector<TraceEntry> trace_;
  std::vector<DriverRequest> requests_;

  // Serial bus devices.
  std::array<uint8_t, 256> fpga_{};
  uint8_t fpgaPointer_ = 0;
  SensorRegisters sensor_;
  uint16_t sensorPointer_ = 0;
  std::array<uint8_t, 256> aux_{};
  uint8_t auxPointer_ = 0;
  Eeprom eeprom_;
  // Registers of the firmware itself (other sensors of the family use them).
  uint32_t controlByte_ = 0;
  std::map<uint16_t, uint16_t> sensorWords_;
  std::map<uint16_t, uint32_t> registers32_;
  Thermal thermal_;

  // Frame path.
  uint32_t frameCount_ = 0;
  bool armed_ = false;
  Clock::time_point armedAt_{};  // the frame request now waiting
  Clock::time_point readyAt_{};
  Clock::time_point lastFrameAt_{};
  std::optional<Exposure> triggered_;
  Stage stage_ = Stage::Idle;
  uint64_t frameEpoch_ = 0;  // changes whenever the frame in progress is dropped
  std::array<uint8_t, 64> header_{};
  std::vector<uint8_t> payload_;
  uint32_t payloadSent_ = 0;
  uint32_t payloadToSend_ = 0;
  bool payloadCut_ = false;  // the frame ends early with a short packet
  uint32_t sendingFrame_ = 0;
  Delivery lastDelivery_;
  uint32_t unrendered_ = 0;

  // Rendering a full frame takes long enough that register traffic (of this or another handle
  // on the camera) must not wait for it: the renderer has a lock of its own, taken before the
  // camera's lock when both are held.
  std::mutex renderMutex_;
  Renderer renderer_;
  std::vector<uint8_t> rendered_;
  std::function<void()> renderHook_;

  // The sensor's clock at the camera's own timing. The thread renders into `exposing_` (its own,
  // touched by no other thread) and swaps it into the finished-frame store at the end of the
  // exposure; a read swaps the finished frame into `payload_`: no frame is copied on the way.
  struct FinishedFrame {
    std::vector<uint8_t> pixels;
    ImageSettings settings;
    Exposure exposure;
    uint32_t frame = 0;
    Clock::time_point exposedUntil{};
    Clock::time_point settingsAt{};  // when the sensor took the settings it exposed with
    bool valid = false;
  };
  platform::Thread sensorClock_;
  std::condition_variable sensorWake_;
  bool clockRuns_ = false;         // the thread is in its loop (cleared by the thread as it leaves)
  bool clockStop_ = false;         // the camera goes away
  Clock::time_point lastAsked_{};  // the host's last frame request or read: idle sensors stop
  FinishedFrame finished_;
  std::vector<uint8_t> exposing_;

  std::mutex listenerMutex_;
  std::map<int, std::function<void()>> listeners_;
  int nextListener_ = 1;
};

}  // namespace nivexa::sim

#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "engine/EngineConstants.h"
#include "engine/FrameRateCounter.h"
#include "engine/FrameRing.h"
#include "family/FamilyTable.h"
#include "platform/Event.h"
#include "platform/Thread.h"
#include "sensors/CSensorBase.h"
#include "transport/CVelCy3Cam.h"
#include "transport/drivers/DeviceNotices.h"
#include "transport/drivers/Fx3Driver.h"

namespace nivexa::engine {

// A sensor's whole pixel array.
struct ArraySize {
  int32_t width = 0;
  int32_t height = 0;

  bool operator==(const ArraySize&) const = default;
};

// The pixel array of a product of the family, from its row of the family table; zero for a
// product outside it.
ArraySize productArraySize(int productId);

// The camera engine behind one camera object: it owns the controller and the sensor driver,
// opens the device, programs the FPGA's output path, runs the capture thread with its ring of
// frame slots and forwards every sensor setting. Operations return nonzero for success and 0
// for failure (or the value their comment names); none throws.
//
// The virtual operations keep their fixed slot order; plain forwarders to the sensor driver
// answer 0 (or the stated value) when there is no driver.
class CNivexaU3R5Base {
 public:
  CNivexaU3R5Base();
  CNivexaU3R5Base(const CNivexaU3R5Base&) = delete;
  CNivexaU3R5Base& operator=(const CNivexaU3R5Base&) = delete;

  virtual ~CNivexaU3R5Base();                                          // 0
  virtual int CreateController(const transport::Guid* interfaceGuid);  // 1
  virtual int OpenCamera();                                            // 2
  virtual int CloseCamera();                                           // 3
  virtual int ReadDeviceInfo(std::span<uint8_t, 64> record);           // 4
  virtual int CopySensorInfo(sensors::SensorInfo* out);                // 5
  virtual int ReadExtendedInfo(std::span<uint8_t, 64> record);         // 6
  virtual int SelectDevice(int deviceNumber);                          // 7
  virtual int CreateSensor(int deviceNumber);                          // 8
  virtual int Reserved9() { return 0; }                                // 9
  virtual int IsDeviceNumberValid(int deviceNumber);                   // 10
  virtual int CountDevices(int productId);                             // 11
  virtual int GetDevicePath(int entry, std::string& path);             // 12
  virtual int SetProductId(int productId);                             // 13
  virtual int GetProductId() { return productId_; }                    // 14
  virtual int GetVendorIdAt(int entry);                                // 15
  virtual int GetProductIdAt(int entry);                               // 16
  virtual int GetInstanceAt(int entry);                                // 17
  virtual int UsesAlternativeStreaming();                              // 18
  virtual int HasFpgaTemperatureMonitor();                             // 19
  virtual int GetDeviceNumber() { return deviceNumber_; }              // 20
  virtual int StartCapture(int mode);                                  // 21
  virtual int StopCapture();                                           // 22
  virtual int CopyFrame(std::span<uint8_t> destination, uint32_t* frameNumber, uint32_t* infoA,
                        uint32_t* headerCounter, uint32_t* infoB, uint32_t* infoC, bool firstSlot,
                        bool topDown);                          // 23
  virtual int SetCaptureMode(int mode);                         // 24
  virtual int RestartStreaming();                               // 25
  virtual int CaptureLoop();                                    // 26
  virtual int CaptureLoopAux();                                 // 27
  virtual int CaptureLoopByCommand();                           // 28
  virtual int PrepareTransfer();                                // 29
  virtual int MaxDeviceCount() { return 32; }                   // 30
  virtual int ReadFrameCounterTag();                            // 31
  virtual int CaptureOneFrame();                                // 32
  virtual int Reserved33() { return -1; }                       // 33
  virtual int CopyFirstSlot(std::span<uint8_t> destination);    // 34
  virtual int SetFrameTimeout(uint32_t milliseconds);           // 35
  virtual int WaitForFrame(uint32_t milliseconds);              // 36
  virtual int CopyNewestFrame(std::span<uint8_t> destination);  // 37
  virtual int CopyNewestFrameStamped(std::span<uint8_t> destination, uint64_t* stamp,
                                     uint8_t* headerByte);  // 38
  virtual int CopyNewestFrameWithInfo(std::span<uint8_t> destination, uint32_t* frameNumber,
                                      uint32_t* infoA, uint32_t* headerCounter, uint32_t* infoB,
                                      uint32_t* infoC);                              // 39
  virtual int Reserved40() { return 0; }                                             // 40
  virtual int SetOutputDepth(int mode);                                              // 41
  virtual int SetClockMode(int mode);                                                // 42
  virtual int GetClockMode();                                                        // 43
  virtual int SetReadoutWindow(int x, int y, int width, int height, int mode);       // 44
  virtual int GetReadoutWindow(int* x, int* y, int* width, int* height, int* mode);  // 45
  virtual int SetMirrorH(int on);                                                    // 46
  virtual int SetMirrorV(int on);                                                    // 47
  virtual int GetMirrorH();                                                          // 48
  virtual int GetMirrorV();                                                          // 49
  virtual int GetMirrorVDefault();                                                   // 50
  virtual int GetMirrorHDefault();                                                   // 51
  virtual int MirrorVSupported();                                                    // 52
  virtual int MirrorHSupported();                                                    // 53
  virtual int SetTriggerMode(int mode, int force);                                   // 54
  virtual int GetTriggerMode();                                                      // 55
  virtual int WriteEepromByte(uint16_t address, uint8_t value);                      // 56
  virtual int ReadEepromByte(uint16_t address, uint8_t& value);                      // 57
  virtual int GetAttributeA();                                                       // 58
  virtual int GetMonochrome();                                                       // 59
  virtual int GetArrayWidth();                                                       // 60
  virtual int GetArrayHeight();                                                      // 61
  virtual int GetDefaultWidth();                                                     // 62
  virtual int GetDefaultHeight();                                                    // 63
  virtual int GetDefaultX();                                                         // 64
  virtual int GetDefaultY();                                                         // 65
  virtual int SetAnalogGain(int gain);                                               // 66
  virtual int GetAnalogGain();                                                       // 67
  virtual int GetAnalogGainMin();                                                    // 68
  virtual int GetAnalogGainMax();                                                    // 69
  virtual int GetAnalogGainDefault();                                                // 70
  virtual int SetExposureTicks(int ticks);                                           // 71
  virtual int GetExposureTicks();                                                    // 72
  virtual int GetExposureTicksMin();                                                 // 73
  virtual int GetExposureTicksMax();                                                 // 74
  virtual int GetExposureTicksDefault();                                             // 75
  virtual int SetExposureLines(int lines);                                           // 76
  virtual int GetExposureLines();                                                    // 77
  virtual int GetExposureLinesMin();                                                 // 78
  virtual int GetExposureLinesMax();                                                 // 79
  virtual int GetExposureLinesDefault();                                             // 80
  virtual int ExposureSecondsSupported();                                            // 81
  virtual int SetExposureSeconds(double seconds);                                    // 82
  virtual int GetExposureSeconds(double* seconds);                                   // 83
  virtual int GetExposureSecondsMin(double* seconds);                                // 84
  virtual int GetExposureSecondsMax(double* seconds);                                // 85
  virtual int GetExposureSecondsDefault(double* seconds);                            // 86
  virtual int CcdOperation87(int value);                                             // 87
  virtual int CcdOperation88(int value);                                             // 88
  virtual int CcdOperation89(int value);                                             // 89
  virtual int CcdOperation90(int value);                                             // 90
  virtual int CcdOperation91(int value);                                             // 91
  virtual int CcdOperation92(int value);                                             // 92
  virtual int CcdOperation93(int value);                                             // 93
  virtual int CcdOperation94(int value);                                             // 94
  virtual int CcdOperation95(int value);                                             // 95
  virtual int CcdOperation96(int value);                                             // 96
  virtual int SetColourGainRed(int value);                                           // 97
  virtual int GetColourGainRed();                                                    // 98
  virtual int SetColourGainGreen1(int value);                                        // 99
  virtual int GetColourGainGreen1();                                                 // 100
  virtual int SetColourGainGreen2(int value);                                        // 101
  virtual int GetColourGainGreen2();                                                 // 102
  virtual int SetColourGainBlue(int value);                                          // 103
  virtual int GetColourGainBlue();                                                   // 104
  virtual int GetColourGainMin();                                                    // 105
  virtual int GetColourGainMax();                                                    // 106
  virtual int GetColourGainDefault();                                                // 107
  virtual int BlackLevelSupported();                                                 // 108
  virtual int SetBlackLevel(int value);                                              // 109
  virtual int GetBlackLevel(int* value);                                             // 110
  virtual int GetBlackLevelMin(int* value);                                          // 111
  virtual int GetBlackLevelMax(int* value);                                          // 112
  virtual int GetBlackLevelDefault(int* value);                                      // 113
  virtual int FeatureSwitchSupported();                                              // 114
  virtual int SetFeatureSwitch(int on);                                              // 115
  virtual int GetFeatureSwitch(int* on);                                             // 116
  virtual int WriteSensorRegisterRaw(uint32_t address, uint32_t value);              // 117
  virtual int ReadSensorRegisterRaw(uint32_t address, int* ok);                      // 118
  virtual int WriteFpgaRegister(int address, int value);                             // 119
  virtual int ReadFpgaRegister(int address, int* ok);                                // 120
  virtual int SerialWriteWhenReady(uint32_t address, uint32_t value);                // 121
  virtual int SerialReadWhenReady(uint32_t address, int* ok);                        // 122
  virtual int WaitFpgaReady(uint32_t milliseconds);                                  // 123
  virtual int Reserved124() { return 0; }                                            // 124
  virtual int Reserved125() { return 0; }                                            // 125
  virtual int SensorHook();                                                          // 126
  virtual int SensorHook2();                                                         // 127
  virtual int FramePeriodHook(int value);                                            // 128
  virtual int HasGainMode();                                                         // 129
  virtual int SetGainMode(int mode);                                                 // 130
  virtual int GetGainMode();                                                         // 131
  virtual int WriteEepromUserByte(uint8_t value);                                    // 132
  virtual int ReadEepromUserByte(uint8_t& value);                                    // 133
  virtual int InternalCorrectionSupported();                                         // 134
  virtual int GetInternalCorrection();                                               // 135
  virtual int SetInternalCorrection(int on);                                         // 136
  virtual int InternalCorrectionLevelSupported();                                    // 137
  virtual int SetInternalCorrectionLevel(uint16_t level);                            // 138
  virtual int GetInternalCorrectionLevel(int* level);                                // 139
  virtual int Reserved140();                                                         // 140
  virtual int InternalCorrectionLevelMax();                                          // 141
  virtual int ReadSerialText(char* text, size_t size);                               // 142
  virtual int WriteSerialText(const char* text);                                     // 143
  virtual int HasCooling();                                                          // 144
  virtual int GetCooling(int* on);                                                   // 145
  virtual int SetCooling(int on);                                                    // 146
  virtual int HasTemperature();                                                      // 147
  virtual int ReadTemperature(double* celsius);                                      // 148
  virtual int OtherOperation149(int value);                                          // 149
  virtual int OtherOperation150(int value);                                          // 150
  virtual int OtherOperation151(int value);                                          // 151
  virtual int OtherOperation152(int* value);                                         // 152
  virtual int OtherOperation153(int* value);                                         // 153
  virtual int OtherOperation154(int* value);                                         // 154
  virtual int OtherOperation155(int* value);                                         // 155
  virtual int OtherOperation156(int* value);                                         // 156
  virtual int OtherOperation157(int* value);                                         // 157
  virtual int OtherOperation158(int value);                                          // 158
  virtual int OtherOperation159(int* value);                                         // 159
  virtual int FpgaDieTemperatureSupported();                                         // 160
  virtual int ReadFpgaDieTemperature(double* celsius);                               // 161
  virtual int OtherOperation162(int value);                                          // 162
  virtual int OtherOperation163(int value);                                          // 163
  virtual int OtherOperation164(int value);                                          // 164
  virtual int OtherOperation165(int value);                                          // 165
  virtual int OtherOperation166(int value);                                          // 166
  virtual int OtherOperation167(int value);                                          // 167
  virtual int OtherOperation168(int value);                                          // 168
  virtual int OtherOperation169(int value);                                          // 169
  virtual int FifthParameterSupported();                                             // 170
  virtual int GetFifthParameterMin(int* value);                                      // 171
  virtual int GetFifthParameterMax(int* value);                                      // 172
  virtual int GetFifthParameterDefault(int* value);                                  // 173
  virtual int ReadFifthParameter(int* value);                                        // 174
  virtual int SetFifthParameter(int value);                                          // 175
  virtual int GetFifthParameterLabel(int step, char* text, size_t size);             // 176
  virtual int OtherOperation177(int value);                                          // 177
  virtual int OtherOperation178(int value);                                          // 178
  virtual int FrameWidthFactor();                                                    // 179
  virtual int AcceptsMonochromeFormats();                                            // 180
  virtual int SecondFormatCapability();                                              // 181
  virtual int AcceptsColourFormats();                                                // 182
  virtual int OlderSwirOperation183(int value);                                      // 183
  virtual int OlderSwirOperation184(int value);                                      // 184

  // The engine's checks of a capture area before the camera object stores it: the horizontal
  // (total, effective) and vertical (total, effective) pairs. The full width and height of
  // FullArraySize() always pass; any other effective size must be positive, within its total,
  // and the total within the pixel array of the open sensor.
  int CheckAreaWidth(int total, int effective);
  int CheckAreaHeight(int total, int effective);

  // Read by tests and the camera object.
  uint32_t FrameSize() const { return frameSize_.load(); }
  // CPU time the capture thread of the current run has used (0 when none runs): what capturing
  // costs, for measurements.
  uint64_t CaptureThreadCpuNs() { return captureThread_.cpuTimeNs(); }
  // The newest frame, top row first, with everything its slot records of it (header counter,
  // time of arrival); an empty destination reads the record alone. Either way the frame counts
  // as read. 0 when there is no frame or it does not fit.
  int CopyNewestFrameRecord(std::span<uint8_t> destination, FrameSlotInfo* record);
  // False when the newest frame was read straight into a listener's memory: it is not in the
  // ring to be copied.
  bool NewestFrameInRing() { return ring_.holdsFrame(ring_.newestSlot()); }
  // A consumer of a continuous capture's frames on the capture thread, before the frame-ready
  // signal: one that only wants the frame's bytes takes them there without waiting for a thread
  // of its own to get a core. Its calls run at the capture thread's priority and hold up the
  // next read, so they take or hand over memory and return; they never wait on anything an
  // application holds, nor call application code. Once the setter returns, the listener it
  // replaced is not running and will not run again.
  struct FrameListener {
    // Memory the next frame is read straight into, instead of into the ring: the frame then
    // costs no copy at all. Empty when the consumer has none to lend (the frame goes to the
    // ring). Asked only where the frame needs no reordering on its way out.
    std::function<std::span<uint8_t>()> lend;
    // The lent memory back, holding the frame `record` describes, or (null) not holding a
    // frame: the read failed or the frame was discarded. Every lend that gave memory gets
    // exactly one.
    std::function<void(const FrameSlotInfo* record)> filled;
    // A frame is in its slot of the ring.
    std::function<void()> stored;
  };
  void SetFrameListener(FrameListener listener);
  float FrameRate() const { return frameRate_.load(); }
  // The sensor's programmed frame period in whole milliseconds, rounded down; 0 when unknown.
  int FramePeriodMs() const { return sensor_ ? sensor_->framePeriodMs() : 0; }
  // The same in microseconds, unrounded; 0 when unknown.
  double FramePeriodUs() const { return sensor_ ? sensor_->framePeriodUs() : 0.0; }
  double TransferRate() const { return transferRate_.load(); }
  int TriggeredFrameCount() const { return triggeredFrames_.load(); }
  uint8_t LastFrameTag() const { return lastFrameTag_.load(); }
  uint32_t FrameTimeout() const { return frameTimeoutMs_.load(); }
  bool TransferFailed() const { return transferFailed_.load() != 0; }
  bool CaptureRunning() const { return running_.load() != 0; }
  int CaptureMode() const { return captureMode_.load(); }
  const FrameRing& Ring() const { return ring_; }
  int OutputDepth() const { return outputDepth_.load(); }
  bool TransferSetupNeeded() const { return transferSetupNeeded_.load() != 0; }
  uint16_t FirmwareVersion() const;
  sensors::CSensorBase* Sensor() const { return sensor_.get(); }
  // Whether a sensor driver is in place: the camera object asks this instead of holding the
  // driver, so that everything it does to the sensor passes through the engine.
  bool HasSensor() const { return sensor_ != nullptr; }
  // The device interface class of the cameras the engine drives, for the arrival and removal
  // notices the camera object registers before any engine exists.
  static const transport::Guid& CameraInterfaceGuid() { return transport::kCameraInterfaceGuid; }
  // From now until the engine goes, the driver watches for cameras plugged in and out, so that
  // the window registered for those notices hears of them.
  void WatchDeviceChanges();
  // The pixel array of the sensor driver; before one is made, that of the product chosen with
  // SetProductId, so that sizes decided before a camera is open are that product's. Zero for a
  // product outside the family.
  ArraySize FullArraySize() const;
  // True once the driver has programmed the chip; a driver that cannot program its chip leaves
  // the camera closed, and nothing streams from it.
  bool CameraOpen() const { return cameraOpen_.load() != 0; }
  // Whether the driver of the open product implements a group of the family table (for the
  // groups no operation of the driver interface reports, such as trigger or output depth).
  int SupportsGroup(family::Group group) const;
  transport::CVelCy3Cam* Controller() const { return controller_.get(); }

 protected:
  // Frame-rate and transfer-rate bookkeeping after a frame taken in `elapsedMs`.
  void noteFrameTimes(uint32_t elapsedMs);
  std::shared_ptr<platform::Event> frameReadyEvent();
  void ensureFrameReadyEvent();
  void signalFrameReady();
  // A frame is in its slot: in a continuous capture the listener hears of it, then any waiter.
  void frameStored(int32_t mode);
  // Memory the listener lends for the next frame of a continuous capture, `payloadBytes` long;
  // empty when it lends none. While memory is lent, `lent` holds the listener's lock.
  std::span<uint8_t> lendFrameMemory(std::unique_lock<std::mutex>& lent, int32_t mode,
                                     uint32_t payloadBytes);
  // Gives lent memory back (nothing when none is lent) and lets the listener go.
  void returnFrameMemory(std::unique_lock<std::mutex>& lent, const FrameSlotInfo* record);
  void captureThreadBody();
  void joinCaptureThread();
  // Copies the slot into the destination with the driver's orientation applied.
  int copySlot(int slot, std::span<uint8_t> destination, bool topDown, FrameSlotInfo* info);
  // Marks everything up to `slot` as read by the consumer.
  void markRead(int slot);
  // False when the FPGA refused a write.
  bool writeOutputFormat();
  // Ends a capture loop: the stream is closed and the thread-end event told.
  int finishCaptureLoop();
  // Whether the family table gives the product set by SetProductId this trait; false for a
  // product the family does not hold.
  bool productHas(family::Trait trait) const {
    return productRow_ != nullptr && productRow_->has(trait);
  }

  std::unique_ptr<transport::CVelCy3Cam> controller_;
  std::array<uint8_t, 64> deviceInfo_{};
  std::unique_ptr<uint8_t[]> receiveBuffer_;
  size_t receiveBufferSize_ = 0;
  std::atomic<int> captureMode_{0};
  int productId_ = -1;
  const family::FamilyRow* productRow_ = nullptr;  // of productId_, null outside the family
  FrameRing ring_;
  std::atomic<int> outputDepth_{0};
  int triggerMode_ = -1;
  std::atomic<uint32_t> frameSize_{0};
  int frameWidth_ = 0;  // geometry of the frames in the ring, fixed at PrepareTransfer
  int frameHeight_ = 0;
  int frameBytesPerPixel_ = 1;
  std::atomic<int> transferFailed_{0};
  std::mutex frameReadyMutex_;  // guards the event pointer, never held while waiting
  std::shared_ptr<platform::Event> frameReady_;
  // Held while the listener runs, and from a lend to its `filled`, so a reset waits it out.
  std::mutex frameListenerMutex_;
  FrameListener frameListener_;
  std::atomic<float> frameRate_{0.0f};
  std::atomic<double> transferRate_{0.0};
  std::atomic<int> transferSetupNeeded_{1};
  std::unique_ptr<sensors::CSensorBase> sensor_;
  std::unique_ptr<transport::DeviceWatch> deviceWatch_;
  std::atomic<int> cameraOpen_{0};
  std::atomic<uint8_t> lastFrameTag_{0};
  int deviceNumber_ = 0;
  std::atomic<uint32_t> frameTimeoutMs_{5000};
  std::atomic<int> triggeredFrames_{0};
  std::atomic<int> firstFrame_{1};
  std::atomic<int> deferredExposure_{0};
  std::atomic<int> deferredExposureTicks_{0};
  platform::Thread captureThread_;
  std::shared_ptr<platform::Event> threadEnd_;
  std::atomic<int> running_{0};
  std::recursive_mutex captureControl_;  // one start or stop at a time
  FrameRateCounter frameRateCounter_;
};

}  // namespace nivexa::engine

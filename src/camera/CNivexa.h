#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "NivexaSdk.h"
#include "camera/AnalogSettings.h"
#include "camera/ErrorStack.h"
#include "camera/FrameInfoRecord.h"
#include "dialogs/DialogModel.h"
#include "engine/CNivexaU3R5Base.h"
#include "imaging/DibImage.h"
#include "imaging/PipelineHost.h"
#include "imaging/ProcessFrame.h"
#include "imaging/ProcessingParameters.h"
#include "imaging/mask/DefectMask.h"
#include "output/AviRecorder.h"
#include "output/PreviewPainter.h"
#include "output/RecordingSource.h"
#include "platform/CriticalSection.h"
#include "platform/Event.h"
#include "platform/Thread.h"
#include "platform/Window.h"
#include "settings/FilterSettings.h"
#include "settings/GainSettings.h"
#include "settings/GraySettings.h"
#include "stream/BufferQueue.h"
#include "stream/StreamStatistics.h"

namespace nivexa::camera {

// Product constants of the camera object.
inline constexpr size_t kPathBufferBytes = 1024;
inline constexpr int32_t kProductId = 0x33D0;
inline constexpr const char* kDeviceNameStem = "NivexaM7QXTEC";
inline constexpr int32_t kMaxListedDevices = 10;
inline constexpr int32_t kSnapShotTimeoutMs = 3000;
inline constexpr int32_t kTriggerTimeoutMs = 6000;
// What the object's one acquisition thread (or, for capture, the caller) is doing.
enum AcquisitionMode : int32_t {
  kModeIdle = 0,
  kModePreview = 1,
  kModeCapture = 2,
  kModeTrigger = 3,
  kModeBufferStream = 4,
};
// Sizes of the camera information record: without and with the exposure limits in seconds.
inline constexpr int32_t kCameraInfoShortSize = 36;
inline constexpr int32_t kCameraInfoFullSize = 56;

// The object behind one camera handle. Every operation returns 1 for success and 0 for failure
// unless stated otherwise, and records the reason on the object's error stack.
//
// Fields that caller threads and the acquisition thread share without a lock are atomics: one
// 32-bit value each, read once per use, so a concurrent change is seen whole or not at all.
//
// Locks, outermost first: the command lock (one acquisition command, device change or teardown at
// a time; never taken by the acquisition thread), the image lock, the mask lock.
class CNivexa : public imaging::PipelineHost, private output::RecordingSource {
 public:
  // Opens cameras of `productId`: this product's unless a test asks for another of the family.
  explicit CNivexa(int32_t productId = kProductId);
  ~CNivexa() override;
  CNivexa(const CNivexa&) = delete;
  CNivexa& operator=(const CNivexa&) = delete;

  int Initialize(HWND notifyWindow);

  // Errors
  void RecordError(uint32_t code);
  void PostError(uint32_t code) const;
  uint32_t GetLastError() { return errors_.pop(); }
  std::array<uint32_t, ErrorStack::kDepth> ErrorSnapshot() const { return errors_.snapshot(); }

  // Devices and identity
  int EnumDevice(char (*names)[256]);
  int EnumDeviceW(wchar_t (*names)[256]);
  int GetDeviceName(int32_t index, char* buffer, int32_t size);
  int GetDeviceNameW(int32_t index, wchar_t* buffer, int32_t size);
  int SetDeviceNumber(int32_t number);
  int ReadSerialNumberA(char* buffer, int32_t size);
  int ReadSerialNumberW(wchar_t* buffer, int32_t size);
  int GetCameraInfo(NivexaCameraInfo* info);

  // Acquisition
  int Preview();
  // What the acquisition path costs, for measurements: CPU time of the acquisition thread and of
  // the engine's capture thread so far (0 when none runs), and how long the newest frame's pass
  // through the pixel pipeline took.
  uint64_t AcquisitionThreadCpuNs() { return acquisitionThread_.cpuTimeNs(); }
  uint64_t CaptureThreadCpuNs() { return engine_ ? engine_->CaptureThreadCpuNs() : 0; }
  uint64_t LastPipelineNs() const { return lastPipelineNs_.load(std::memory_order_relaxed); }
  int CallBackPreview(HWND window, uint8_t* buffer, int32_t size, int32_t rowOrder);
  int StartPreview();
  int StopPreview();
  int Capture();
  int SnapShot(uint8_t* buffer, int32_t size, int32_t rowOrder);
  int GetImage(uint8_t* buffer, int32_t size, int32_t rowOrder);
  int Trigger(HWND window, uint8_t* buffer, int32_t size, int32_t rowOrder);
  int Close();
  int32_t Width() const { return frameWidth_; }

  // Buffer streams: application buffers filled frame by frame (the NivexaStream_ interface).
  uint32_t StreamFrameBytes(int32_t flags);
  int StreamFrameRate(double* framesPerSecond);
  int StartBufferStream(int32_t flags);
  int QueueBuffer(NivexaBuffer* buffer);
  NivexaBuffer* WaitBuffer(int32_t timeoutMs) { return bufferQueue_.wait(timeoutMs); }
  void SetStreamCallback(NivexaStreamCallback callback, void* context) {
    bufferQueue_.setCallback(callback, context);
  }
  int StopBufferStream();
  // The handle is going: the buffer stream stops and no caller waits for a buffer any more,
  // even one holding the object while the handle is released.
  void ReleaseBufferStream() {
    StopBufferStream();
    bufferQueue_.close();
  }
  NivexaStreamStatistics StreamStatistics() const { return streamStatistics_.snapshot(); }
  int32_t Height() const { return frameHeight_; }

  // Parameters
  int32_t GetFilterValue(int32_t id, BOOL* ok);
  int SetFilterValue(int32_t id, int32_t value);
  double GetExposureTimeEx(BOOL* ok);
  int SetExposureTimeEx(double seconds);
  int32_t GetRealExposureTime(BOOL* ok);
  int SetRealExposureTime(int32_t microseconds);
  double GetTemperatureEx(BOOL* ok);
  int32_t GetMirrorH();
  int SetMirrorH(int32_t on);
  int32_t GetMirrorV();
  int SetMirrorV(int32_t on);
  int32_t GetSubSample() const { return subsample_; }
  int SetSubSample(int32_t code);
  int32_t GetColorMode() const;
  int SetColorMode(int32_t bitsPerPixel);
  int32_t GetWaitTime() const { return waitTimeMs_; }
  int SetWaitTime(int32_t milliseconds);
  int GetIOPort(uint8_t* value);
  int SetIOPort(uint8_t value);
  int32_t GetInternalCorrection(BOOL* ok);
  int SetInternalCorrection(int32_t on);
  int32_t GetAutoIris(BOOL* ok);
  int SetAutoIris(int32_t mode);
  int SetSamplingRate(int32_t rate);

  // The stored side of the parameter model, for the settings store and the dialogs.
  imaging::ProcessingParameters& Processing() { return params_; }
  const AnalogSettings& Analog() const { return analog_; }

  // Register and device-memory access
  int32_t FpgaReadRegister(int32_t address, BOOL* ok);
  int FpgaWriteRegister(int32_t address, int32_t value);
  int32_t ReadSensorRegister(uint32_t address, BOOL* ok);
  int WriteSensorRegister(uint32_t address, uint32_t value);
  int32_t ReadSromID(int32_t address, BOOL* ok);
  int WriteSromID(int32_t address, int32_t value);

  // Preview window and capture geometry
  int SetPreviewWindow(HWND parent, int32_t x, int32_t y, int32_t width, int32_t height);
  int SetCaptureWindow(int32_t width, int32_t height);
  int SetCaptureWindowEx(int32_t hTotal, int32_t hStart, int32_t hEffective, int32_t vTotal,
                         int32_t vStart, int32_t vEffective);
  int GetCaptureWindowEx(int32_t* hTotal, int32_t* hStart, int32_t* hEffective, int32_t* vTotal,
                         int32_t* vStart, int32_t* vEffective) const;

  // Files
  int SaveImage(const char* path, int32_t fileType);
  int Record(const char* path, int32_t durationMs, int32_t showWindow);
  int LoadMaskFile(const char* path);
  int SaveMaskFile(const char* path);
  int UpdateMaskData(int32_t kind);
  int LoadConfigFile(const char* path);
  std::vector<std::pair<int32_t, int32_t>> ConfigList() const;
  // The narrow form of a wide path argument, or nullopt after recording error 12.
  std::optional<std::string> NarrowPath(const wchar_t* path);

  // Settings dialogs
  int SetCameraDlg(HWND parent);
  int SetImageDlg(HWND parent);
  int SetAnalogDlg(HWND parent);

 private:
  friend class DialogPort;
  // Records error 1 and returns false unless a camera is open: a dialog without a sensor would
  // offer ranges that mean nothing.
  bool RequireOpenCamera();
  // Shows a dialog modally; error 4 when it cannot be shown.
  int ShowDialog(dialogs::DialogModel& dialog, HWND parent);

  // Records error 1 and returns false when there is no engine to carry out the operation.
  bool RequireEngine();
  // One register read by `read(int* done)` under the command lock: *ok says whether it worked;
  // a failure records error 6 and reads as 0.
  template <typename Read>
  int32_t ReadRegisterThroughEngine(BOOL* ok, Read read);
  // One register write by `write()` under the command lock; a failure records error 6.
  template <typename Write>
  int WriteRegisterThroughEngine(Write write);
  void Teardown();

  // ---- Parameter model ----
  // Re-reads the seconds after a write of ticks, so both views describe the same exposure.
  void RefreshExposureSeconds();
  // The filter ids that the engine carries (gains, exposure, cooling, sensor switches).
  int32_t GetEngineFilter(int32_t id, BOOL* ok);
  int SetEngineFilter(int32_t id, int32_t value);
  // A device command whose failure the caller would otherwise not learn of: error 6.
  int DeviceCommand(int result);
  // A mirror write: a device command once a device is open, kept for later before that.
  int MirrorReachesDevice(int engineResult);

  // ---- Acquisition side: device choice, stream preparation, acquisition loops ----

  // Moments at which stored settings are loaded or saved (the settings store, src/settings).
  void LoadStoredGeometry();
  void LoadStoredGainSettings();
  void LoadStoredFilterSettings();
  void LoadStoredGraySettings();
  void LoadStoredStreamSettings();
  void SaveStoredGainSettings();
  void SaveStoredFilterSettings();
  void SaveStoredGraySettings();
  void LoadDeviceSettings();  // gain, filter and gray, in this order
  void SaveDeviceSettings();
  // The stored groups as the object holds them now.
  settings::GainSettings StoredGainGroup() const;
  settings::FilterSettings StoredFilterGroup() const;
  settings::GraySettings StoredGrayGroup() const;

  int CreateMaskImages();
  // The open camera's pixel array, asked of the engine; before a camera is open (or without an
  // engine), the product's.
  engine::ArraySize SensorSize() const;
  // Makes the references the open sensor's size when they are not; false when they cannot be
  // made.
  bool FitMaskToSensor();
  void ApplyAnalogSettings();
  void RefreshRealExposure();
  int PrepareStream();
  bool PlacementSet() const;
  int OpenPreviewWindow();
  void ClosePreviewWindow();
  // Closes the earlier window and opens one at the stored placement; error 4 when it cannot.
  int ReplacePreviewWindow();
  // The display bitmap at the client size of a window that can be drawn into.
  void PrepareDisplay(imaging::ColorMode mode);
  // Draws the frame just processed into the preview window; under the image lock.
  void DrawPreview(imaging::ColorMode mode);
  // Stores the area and, when the readout can take it now, tells the engine. Error 7 when the
  // area breaks the rules or the engine refuses it.
  int ApplyCaptureArea(int32_t hTotal, int32_t hStart, int32_t hEffective, int32_t vTotal,
                       int32_t vStart, int32_t vEffective, int32_t buffer);
  int StartAcquisitionThread(void (CNivexa::*loop)());
  void PreviewLoop();
  void TriggerLoop();
  void BufferStreamLoop();
  // The newest frame into the oldest queued buffer (raw, or through the pipeline when
  // `processed`); counted as dropped when no buffer is queued.
  void DeliverToBuffer(imaging::ColorMode mode, bool processed);
  // The oldest queued buffer, now being filled; with none queued the newest frame is read and
  // counted as dropped, and the result is null.
  NivexaBuffer* TakeBuffer();
  // The newest raw frame into the oldest queued buffer, on whichever thread took the frame.
  void DeliverRawFrame(stream::BufferQueue::Callback callback);
  // The capture thread's side of a raw stream without a callback: the oldest queued buffer's
  // memory to read the next frame into (empty: none queued), and that buffer back, holding the
  // frame `record` describes or (null) unwritten, to be taken again first.
  std::span<uint8_t> LendRawBuffer();
  void RawBufferFilled(const engine::FrameSlotInfo* record);
  // The bytes, size and depth of what a buffer stream of `processed` frames delivers now.
  struct BufferFormat {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    int32_t stride = 0;
    uint32_t bytes = 0;
  };
  std::optional<BufferFormat> BufferStreamFormat(bool processed) const;
  // A taken buffer goes back complete with the frame's fields when `filledAs` says how it was
  // filled, else incomplete; the frame counts in the statistics either way.
  void FinishBuffer(NivexaBuffer* buffer, const std::optional<BufferFormat>& filledAs,
                    const engine::FrameSlotInfo& record, stream::BufferQueue::Callback callback);
  // The stream's camera stopped answering: the loop ends, error 13 is recorded and announced.
  void ReportStreamLost();
  // Copies the newest engine frame into the raw bitmap of `mode`; false when nothing fit.
  bool CopyNewestFrame(imaging::ColorMode mode);
  void ProcessFrame(imaging::ColorMode mode);
  // Copies the output bitmap of `mode` out; records error 5 and returns 0 when it does not fit.
  int CopyOutput(imaging::ColorMode mode, uint8_t* buffer, int32_t size, int32_t rowOrder);
  void FillFrameInfo(const imaging::DibImage& raw, imaging::ColorMode mode, int32_t frameRate);
  void PostFrameMessage(uintptr_t wParam, intptr_t lParam);
  int32_t CountFrameForRate();
  bool DeliverNewestFrame(imaging::ColorMode mode, bool countRate);
  imaging::ColorMode StreamMode() const;

  // PipelineHost
  bool engineMirrorsHorizontally() override;
  bool engineMirrorsVertically() override;
  int32_t currentGain() override;
  int32_t gainMinimum() override;
  int32_t gainMaximum() override;
  void setAutoGain(int32_t gain) override;
  int32_t currentExposure() override;
  int32_t exposureMinimum() override;
  int32_t exposureMaximum() override;
  void setAutoExposure(int32_t exposure) override;
  void applyMaskFilter(imaging::DibImage& raw) override;
  void applyDotFilter(imaging::DibImage& raw, int32_t threshold) override;
  void processingValuesChanged() override;

  // RecordingSource: the recorder's view of the output bitmap.
  std::optional<output::FrameGeometry> CurrentGeometry() override;
  uint64_t UseNewerFrame(uint64_t after,
                         const std::function<void(const imaging::DibImage&)>& use) override;

  // Held, before commandLock_, for the whole of every command that starts, stops or reshapes
  // acquisition or changes the device. A snapshot keeps it while it waits for its frame but lets
  // commandLock_ go, so parameter calls are not held up for an exposure.
  std::recursive_mutex acquisitionLock_;
  std::recursive_mutex commandLock_;
  class AcquisitionGuard {
   public:
    explicit AcquisitionGuard(CNivexa& camera)
        : acquisition_(camera.acquisitionLock_), command_(camera.commandLock_) {}

   private:
    std::lock_guard<std::recursive_mutex> acquisition_;
    std::lock_guard<std::recursive_mutex> command_;
  };

  imaging::FrameBitmaps bitmaps_;
  imaging::DibImage display_;
  // Flat-field references and defect maps of the whole sensor, remade only when a camera of
  // another size opens; used under the mask lock.
  imaging::mask::DefectMask mask_;
  imaging::mask::SensorWindow SensorWindowNow() const;
  // Records error 1 and returns false when no camera is open.
  bool RequireMaskDevice();

  // Mirror flags and auto-iris mode live here too. Filter and gray values start as a first run
  // without stored settings leaves them.
  imaging::ProcessingParameters params_{.bayerMode = 3};
  AnalogSettings analog_;
  std::atomic<int32_t> clockValue_{0};
  // Set when the pipeline or the automatic exposure changed values an open dialog shows.
  std::atomic<int32_t> dialogRefresh_{0};

  // The colour mode the bitmaps were made for at the last stream preparation: the running
  // stream keeps it whatever SetColorMode does meanwhile.
  std::atomic<int32_t> preparedMode_{-1};
  std::atomic<int32_t> settingsFlag_{0};
  // The preview lost its camera; the same device number is then opened again on request.
  std::atomic<int32_t> deviceLost_{0};
  // Frames processed into the output bitmap so far; the recorder takes any newer than its last.
  std::atomic<uint64_t> processedFrames_{0};
  std::atomic<uint64_t> lastPipelineNs_{0};
  // Stopped by StopPreview, and so by Close and teardown, before the bitmaps it reads go.
  output::AviRecorder recorder_;
  // The buffers lent by the application, the running buffer stream's flags and its counts.
  stream::BufferQueue bufferQueue_;
  // The buffer the capture thread reads a raw frame into; touched only under its frame listener.
  NivexaBuffer* lentToCapture_ = nullptr;
  std::atomic<int32_t> bufferStreamFlags_{0};
  stream::StreamStatistics streamStatistics_;

  // Written through atomic_ref: the application reads it live.
  FrameInfoRecord frameInfoRecord_;
  NivexaFrameInfo& frameInfo_ = frameInfoRecord_.get();
  std::atomic<int32_t> frameRate_{0};
  int32_t frameCounter_ = 0;  // acquisition thread only
  uint32_t rateTime_ = 0;     // acquisition thread only

  platform::Thread acquisitionThread_;
  std::shared_ptr<platform::Event> acquisitionEnd_;
  // Set by StopPreview: the loop's pause between frames ends at once, however long the wait time.
  std::shared_ptr<platform::Event> acquisitionStop_;

  std::unique_ptr<engine::CNivexaU3R5Base> engine_;
  const int32_t productId_;

  // Capture geometry: the sensor area read out; the whole of the product's sensor to begin with.
  std::atomic<int32_t> horizontalTotal_;
  std::atomic<int32_t> verticalTotal_;
  std::atomic<int32_t> frameWidth_;
  std::atomic<int32_t> frameHeight_;
  std::atomic<int32_t> horizontalStart_{0};
  std::atomic<int32_t> verticalStart_{0};
  std::atomic<int32_t> bufferValue_{4};  // stored with the geometry, no other use

  std::atomic<int32_t> colorMode_{0};
  std::atomic<int32_t> subsample_{0};
  std::atomic<int32_t> waitTimeMs_{10};
  std::atomic<int32_t> mode_{0};
  std::atomic<int32_t> running_{0};
  std::atomic<int32_t> imageReady_{0};
  std::atomic<int32_t> frameTimeoutMs_{3000};
  std::atomic<int32_t> currentDevice_{-1};

  // Where CallBackPreview and Trigger deliver. The buffer, its size and its row order are one
  // unit, replaced and read only under the image lock: a frame copy never pairs a new buffer with
  // an old size, and once a replacement returns the old buffer is never written again.
  struct CallbackTarget {
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    int32_t rowOrder = 0;
  };
  void SetCallbackTarget(HWND window, uint8_t* buffer, int32_t size, int32_t rowOrder);
  std::atomic<HWND> callbackWindow_{nullptr};
  CallbackTarget callback_;

  // Preview placement given by SetPreviewWindow: parent, then x, y, width, height.
  std::atomic<HWND> previewParent_{nullptr};
  std::atomic<int32_t> previewRect_[4] = {0, 0, 0, 0};
  // The window, its class name and what draws into it; replaced and drawn under the image lock.
  std::unique_ptr<platform::PreviewWindow> previewWindow_;
  std::string previewClassName_;
  output::PreviewPainter painter_;

  std::atomic<HWND> notifyWindow_{nullptr};
  ErrorStack errors_;

  platform::CriticalSection imageLock_;
  mutable platform::CriticalSection maskLock_;  // also guards the configuration list
  std::vector<std::pair<int32_t, int32_t>> configList_;
};

}  // namespace nivexa::camera

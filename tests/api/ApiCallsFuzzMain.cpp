// libFuzzer entry that drives the exports the way applications do, careless ones included: the
// input is read as a run of calls with boundary and random arguments on several handles of fast
// virtual cameras, with a second thread stopping or changing settings while the first streams.
// Every buffer handed over is exactly as large as the call says, so any write past it is the
// library's fault. The preview window and the settings dialogs need a display and are not called.
// Each input starts from fresh cameras and an empty settings store, and ends with every handle
// released, every thread joined and every buffer freed, so a report belongs to the input alone.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "NivexaMessages.h"
#include "NivexaSdk.h"
#include "NivexaStream.h"
#include "TestFolder.h"
#include "platform/Process.h"
#include "sim/Camera.h"
#include "sim/CameraSet.h"
#include "sim/Faults.h"

namespace {

namespace sim = nivexa::sim;

constexpr size_t kMaxCameras = 3;
constexpr size_t kMaxHandles = 4;
constexpr size_t kMaxSinks = 2;
constexpr size_t kMaxCalls = 48;
// One input stays within a few hundred milliseconds: waits are short, and the run of calls ends
// once this much time has gone. Opening a camera is not counted: the sensor's power-up timing
// alone takes longer than that.
constexpr auto kInputBudget = std::chrono::milliseconds(500);
constexpr int32_t kMaxWaitMs = 20;
constexpr int32_t kMaxHelperDelayMs = 15;
// A start is followed by a stop within this many further calls of the same input.
constexpr uint8_t kMaxCallsUntilStop = 4;
constexpr size_t kMaxStreamBuffers = 4;
// AVI files from buffers: small frames, few of them, so that a run writes little.
constexpr size_t kMaxAviFiles = 3;
constexpr uint32_t kMaxAviSide = 34;
constexpr uint32_t kMaxAviFrames = 3;
constexpr int64_t kMaxAviDepth = 4;
constexpr double kAviRate = 25.0;
constexpr uint32_t kMaxFaultStrikes = 3;
constexpr size_t kMaxConfigBytes = 64;
constexpr size_t kNameRows = 10;
constexpr size_t kNameColumns = 256;
constexpr size_t kSmallBuffer = 64;
constexpr int32_t kNeverIssuedOffset = 1000;
constexpr int32_t kMaxSaveType = 8;
constexpr uint32_t kTextBytes = 32;
constexpr double kHugeSeconds = 1e12;
// A pointer that was never a sink: the library looks sinks up, so it must ignore this one.
const auto kUnknownSink = reinterpret_cast<HWND>(uintptr_t{0x1000});

// Hands out the input's bytes as values; past the end it gives zeros, so every input is a
// complete run of calls.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> data) : data_(data) {}
  bool empty() const { return at_ >= data_.size(); }
  uint8_t byte() { return at_ < data_.size() ? data_[at_++] : 0; }
  bool flag() { return (byte() & 1) != 0; }
  uint32_t below(uint32_t n) { return n == 0 ? 0 : byte() % n; }
  uint16_t u16() {
    const uint8_t low = byte();
    return static_cast<uint16_t>(low | (byte() << 8));
  }
  uint32_t u32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      value |= uint32_t{byte()} << (8 * i);
    }
    return value;
  }
  // An argument: mostly the edges of the type and of small ranges, sometimes any value.
  int32_t value() {
    switch (byte() % 9) {
      case 0:
        return 0;
      case 1:
        return 1;
      case 2:
        return -1;
      case 3:
        return std::numeric_limits<int32_t>::min();
      case 4:
        return std::numeric_limits<int32_t>::max();
      case 5:
        return static_cast<int8_t>(byte());
      case 6:
        return static_cast<int16_t>(u16());
      case 7:
        return byte();
      default:
        return static_cast<int32_t>(u32());
    }
  }
  // A buffer size around `frame`, the bytes one image takes.
  int32_t size(int64_t frame) {
    const auto clamp = [](int64_t v) {
      return static_cast<int32_t>(std::clamp<int64_t>(v, 0, std::numeric_limits<int32_t>::max()));
    };
    switch (byte() % 8) {
      case 0:
        return 0;
      case 1:
        return 1;
      case 2:
        return clamp(frame - 1);
      case 3:
        return clamp(frame);
      case 4:
        return clamp(frame + 1);
      case 5:
        return -1;
      case 6:
        return std::numeric_limits<int32_t>::min();
      default:
        return u16();
    }
  }

 private:
  std::span<const uint8_t> data_;
  size_t at_ = 0;
};

// The folder of this process's files (settings store, images, masks, recordings).
std::filesystem::path& folder() {
  static std::filesystem::path path;
  return path;
}

std::string filePath(const char* name) {
  return (folder() / name).string();
}

// Calls made over the whole run, printed at exit: libFuzzer counts inputs, and an input is a
// varying number of calls.
std::atomic<uint64_t> callsMade{0};

// A buffer of exactly `size` bytes; for a size below one a real pointer to no bytes at all, so
// that any access through it is reported.
std::unique_ptr<uint8_t[]> bufferOf(int32_t size) {
  return std::make_unique<uint8_t[]>(size > 0 ? static_cast<size_t>(size) : 0);
}

using HandleGetter = int32_t (*)(int32_t);
using OkGetter = int32_t (*)(int32_t, int32_t*);
using Setter = int32_t (*)(int32_t, int32_t);
using IndexedGetter = int32_t (*)(int32_t, int32_t, int32_t*);
using IndexedSetter = int32_t (*)(int32_t, int32_t, int32_t);

constexpr HandleGetter kHandleCalls[] = {
    Nivexa_GetLastError, Nivexa_Width,           Nivexa_Height,         Nivexa_GetMirrorH,
    Nivexa_GetMirrorV,   Nivexa_GetSubSample,    Nivexa_GetColorMode,   Nivexa_GetWaitTime,
    Nivexa_Fps,          Nivexa_GetHalfClock,    Nivexa_SetCrossbar,    Nivexa_SetHalfClock,
    Nivexa_Close,        Nivexa_GetConfigFilter, Nivexa_SetConfigFilter};

constexpr HandleGetter kStarts[] = {Nivexa_Preview, Nivexa_StartPreview, Nivexa_Capture};

constexpr OkGetter kOkGetters[] = {Nivexa_GetBrightness,
                                   Nivexa_GetContrast,
                                   Nivexa_GetHue,
                                   Nivexa_GetSaturation,
                                   Nivexa_GetSharpness,
                                   Nivexa_GetBayerGainRGB,
                                   Nivexa_GetBayerGainRed,
                                   Nivexa_GetBayerGainGreen,
                                   Nivexa_GetBayerGainBlue,
                                   Nivexa_GetBayerGainAuto,
                                   Nivexa_GetGamma,
                                   Nivexa_GetBayerMode,
                                   Nivexa_GetGlobalGain,
                                   Nivexa_GetColorGainRed,
                                   Nivexa_GetColorGainGreen1,
                                   Nivexa_GetColorGainGreen2,
                                   Nivexa_GetColorGainBlue,
                                   Nivexa_GetExposureTime,
                                   Nivexa_GetGrayMode,
                                   Nivexa_GetGrayGainR,
                                   Nivexa_GetGrayGainG1,
                                   Nivexa_GetGrayGainG2,
                                   Nivexa_GetGrayGainB,
                                   Nivexa_GetGrayOffsetR,
                                   Nivexa_GetGrayOffsetG1,
                                   Nivexa_GetGrayOffsetG2,
                                   Nivexa_GetGrayOffsetB,
                                   Nivexa_GetPeltier,
                                   Nivexa_GetTemperature,
                                   Nivexa_GetDotFilter,
                                   Nivexa_GetMaskFilter,
                                   Nivexa_GetRealExposureTime,
                                   Nivexa_GetInternalCorrection,
                                   Nivexa_GetAutoIris};

constexpr Setter kSetters[] = {Nivexa_SetBrightness,
                               Nivexa_SetContrast,
                               Nivexa_SetHue,
                               Nivexa_SetSaturation,
                               Nivexa_SetSharpness,
                               Nivexa_SetBayerGainRGB,
                               Nivexa_SetBayerGainRed,
                               Nivexa_SetBayerGainGreen,
                               Nivexa_SetBayerGainBlue,
                               Nivexa_SetBayerGainAuto,
                               Nivexa_SetGamma,
                               Nivexa_SetBayerMode,
                               Nivexa_SetGlobalGain,
                               Nivexa_SetColorGainRed,
                               Nivexa_SetColorGainGreen1,
                               Nivexa_SetColorGainGreen2,
                               Nivexa_SetColorGainBlue,
                               Nivexa_SetExposureTime,
                               Nivexa_SetGrayMode,
                               Nivexa_SetGrayGainR,
                               Nivexa_SetGrayGainG1,
                               Nivexa_SetGrayGainG2,
                               Nivexa_SetGrayGainB,
                               Nivexa_SetGrayOffsetR,
                               Nivexa_SetGrayOffsetG1,
                               Nivexa_SetGrayOffsetG2,
                               Nivexa_SetGrayOffsetB,
                               Nivexa_SetPeltier,
                               Nivexa_SetDotFilter,
                               Nivexa_SetMaskFilter,
                               Nivexa_SetRealExposureTime,
                               Nivexa_SetMirrorH,
                               Nivexa_SetMirrorV,
                               Nivexa_SetSubSample,
                               Nivexa_SetColorMode,
                               Nivexa_SetWaitTime,
                               Nivexa_SetInternalCorrection,
                               Nivexa_SetAutoIris,
                               Nivexa_SetSamplingRate,
                               Nivexa_UpdateMaskData,
                               Nivexa_SetDeviceNumber};

// The settings a second thread may change under a running stream.
constexpr Setter kStreamingSetters[] = {
    Nivexa_SetExposureTime,     Nivexa_SetGlobalGain, Nivexa_SetSubSample, Nivexa_SetColorMode,
    Nivexa_SetMirrorH,          Nivexa_SetMirrorV,    Nivexa_SetDotFilter, Nivexa_SetMaskFilter,
    Nivexa_SetRealExposureTime, Nivexa_UpdateMaskData};

constexpr IndexedGetter kIndexedGetters[] = {
    Nivexa_GetFilterValue, Nivexa_GetChannelGain, Nivexa_GetChannelOffset, Nivexa_Fpga_ReadRegister,
    Nivexa_ReadRegister,   Nivexa_ReadRegisterEx, Nivexa_ReadSromID};

constexpr IndexedSetter kIndexedSetters[] = {Nivexa_SetFilterValue,   Nivexa_SetChannelGain,
                                             Nivexa_SetChannelOffset, Nivexa_Fpga_WriteRegister,
                                             Nivexa_WriteRegister,    Nivexa_WriteRegisterEx,
                                             Nivexa_WriteSromID,      Nivexa_SetCaptureWindow};

template <typename T, size_t N>
const T& pick(Reader& in, const T (&table)[N]) {
  return table[in.below(N)];
}

// What a stream callback does with each buffer, from the library's thread: applications queue
// the buffer again at once, or stop the stream from inside the callback.
enum class CallbackAction : uint8_t { Count, Requeue, Stop, kCount };

struct CallbackContext {
  LONG h = 0;
  CallbackAction action = CallbackAction::Count;
  std::atomic<uint32_t> calls{0};
};

void streamCallback(NivexaBuffer* buffer, void* context) {
  auto* c = static_cast<CallbackContext*>(context);
  if (c == nullptr) {
    return;
  }
  c->calls.fetch_add(1);
  switch (c->action) {
    case CallbackAction::Requeue:
      NivexaStream_Queue(c->h, buffer);
      break;
    case CallbackAction::Stop:
      NivexaStream_Stop(c->h);
      break;
    default:
      break;
  }
}

class Session {
 public:
  explicit Session(Reader& in) : in_(in) {
    const size_t cameras = 1 + in_.below(kMaxCameras);
    for (size_t i = 0; i < cameras; ++i) {
      sim::CameraOptions options;
      options.pacing = sim::Pacing::Fast;
      options.noise = false;
      options.serial = "VF000" + std::to_string(i);
      cameras_.push_back(sim::createCamera(options));
    }
  }

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  ~Session() {
    joinHelper();
    for (NivexaAviFile* file : aviFiles_) {
      NivexaStream_AviRelease(file);
    }
    for (size_t i = 0; i < handles_.size(); ++i) {
      if (live_[i]) {
        Nivexa_Release(handles_[i]);
      }
    }
    for (HWND sink : sinks_) {
      NivexaMsg_DestroySink(sink);
    }
    // Posts to a null window land on this thread's queue; the next input starts without them.
    NivexaMsg msg;
    while (NivexaMsg_Get(nullptr, &msg, 0) != 0) {
    }
    for (const auto& camera : cameras_) {
      sim::removeCamera(camera);
    }
  }

  void run() {
    const auto start = std::chrono::steady_clock::now();
    for (size_t call = 0; call < kMaxCalls && !in_.empty(); ++call) {
      if (std::chrono::steady_clock::now() - start - opening_ > kInputBudget) {
        break;
      }
      step();
      callsMade.fetch_add(1);
      stopWhenDue();
    }
  }

 private:
  // One call, chosen by the next byte.
  void step() {
    switch (in_.byte() % 33) {
      case 0:
        initialize();
        break;
      case 1:
        release();
        break;
      case 2:
        pick(in_, kHandleCalls)(handle());
        break;
      case 3:
        okGetter();
        break;
      case 4: {
        // One value per statement: the order in which arguments are evaluated is unspecified.
        const LONG h = handle();
        const Setter setter = pick(in_, kSetters);
        const LONG value = in_.value();
        if (setter == Nivexa_SetDeviceNumber) {
          opening([&] { return setter(h, value); });
        } else {
          setter(h, value);
        }
      } break;
      case 5:
        indexedGetter();
        break;
      case 6: {
        const LONG h = handle();
        const LONG a = in_.value();
        pick(in_, kIndexedSetters)(h, a, in_.value());
      } break;
      case 7:
        doubles();
        break;
      case 8:
        start(pick(in_, kStarts));
        break;
      case 9:
        Nivexa_StopPreview(handle());
        break;
      case 10:
        callbackPreview();
        break;
      case 11:
        imageInto(Nivexa_SnapShot);
        break;
      case 12:
        imageInto(Nivexa_GetImage);
        break;
      case 13:
        devices();
        break;
      case 14:
        names();
        break;
      case 15:
        cameraInfo();
        break;
      case 16:
        smallOutputs();
        break;
      case 17:
        captureWindow();
        break;
      case 18:
        saveImage();
        break;
      case 19:
        record();
        break;
      case 20:
        mask();
        break;
      case 21:
        config();
        break;
      case 22:
        streamStart();
        break;
      case 23:
        streamQueue();
        break;
      case 24:
        streamWait();
        break;
      case 25:
        streamControl();
        break;
      case 26:
        sinks();
        break;
      case 27:
        helper();
        break;
      case 28:
        hardware();
        break;
      case 29: {
        Nivexa_GetDllVersion();
        const LONG h = handle();
        Nivexa_GetStatus(h, in_.flag() ? &status_ : nullptr);
      } break;
      case 30:
        text();
        break;
      case 31:
        avi();
        break;
      default: {
        const LONG h = handle();
        Nivexa_SetIOPort(h, in_.byte());
        uint8_t port = 0;
        Nivexa_GetIOPort(h, in_.flag() ? &port : nullptr);
      } break;
    }
  }

  // Any handle: issued (live or released), none, or one never issued.
  LONG handle() {
    const uint32_t choice = in_.below(handles_.size() + 3);
    if (choice < handles_.size()) {
      return handles_[choice];
    }
    switch (choice - handles_.size()) {
      case 0:
        return 0;
      case 1:
        return -1;
      default:
        return (handles_.empty() ? 1 : *std::max_element(handles_.begin(), handles_.end())) +
               kNeverIssuedOffset;
    }
  }

  HWND window() {
    const uint32_t choice = in_.below(sinks_.size() + 2);
    if (choice < sinks_.size()) {
      return sinks_[choice];
    }
    return choice == sinks_.size() ? nullptr : kUnknownSink;
  }

  // The bytes one image of the handle's current format takes, 0 when it has none.
  static int64_t frameBytes(LONG h) {
    const int64_t width = Nivexa_Width(h);
    const int64_t height = Nivexa_Height(h);
    const int64_t bits = Nivexa_GetColorMode(h);
    if (width <= 0 || height <= 0 || bits <= 0) {
      return 0;
    }
    constexpr int64_t kRowAlign = 4;
    const int64_t row = (width * bits / 8 + kRowAlign - 1) / kRowAlign * kRowAlign;
    return row * height;
  }

  // A buffer of a size around the handle's frame, kept until every handle is released (the
  // acquisition threads may still write it), with the size the call states; null when chosen.
  std::pair<uint8_t*, int32_t> lend(LONG h) {
    const int32_t size = in_.size(frameBytes(h));
    if (in_.flag()) {
      return {nullptr, size};
    }
    lent_.push_back(bufferOf(size));
    return {lent_.back().get(), size};
  }

  std::string path() {
    static constexpr const char* kNames[] = {"image.bmp", "mask.msk", "config.cfg", "video.avi",
                                             "missing/none.bmp"};
    switch (in_.below(4)) {
      case 0:
        return std::string();
      case 1:
        return folder().string();
      default:
        return filePath(pick(in_, kNames));
    }
  }

  template <typename Call>
  LONG opening(Call call) {
    const auto start = std::chrono::steady_clock::now();
    const LONG result = call();
    opening_ += std::chrono::steady_clock::now() - start;
    return result;
  }

  void initialize() {
    if (handles_.size() >= kMaxHandles) {
      return;
    }
    const HWND notify = window();
    const LONG h = opening([&] { return Nivexa_Initialize(notify); });
    if (h != 0) {
      handles_.push_back(h);
      live_.push_back(true);
      untilStop_.push_back(0);
    }
  }

  void release() {
    if (handles_.empty()) {
      Nivexa_Release(handle());
      return;
    }
    const size_t i = in_.below(handles_.size());
    // The helper may be using the handle: a release races it as an application's would, but
    // the buffers it lent stay until the end.
    Nivexa_Release(handles_[i]);
    live_[i] = false;
  }

  void okGetter() {
    const LONG h = handle();
    BOOL ok = 0;
    pick(in_, kOkGetters)(h, in_.flag() ? &ok : nullptr);
  }

  void indexedGetter() {
    const LONG h = handle();
    const LONG index = in_.value();
    BOOL ok = 0;
    pick(in_, kIndexedGetters)(h, index, in_.flag() ? &ok : nullptr);
  }

  void doubles() {
    const LONG h = handle();
    BOOL ok = 0;
    switch (in_.below(3)) {
      case 0:
        Nivexa_GetExposureTimeEx(h, in_.flag() ? &ok : nullptr);
        break;
      case 1:
        Nivexa_GetTemperatureEx(h, in_.flag() ? &ok : nullptr);
        break;
      default: {
        static constexpr double kSeconds[] = {0.0,
                                              -1.0,
                                              1e-9,
                                              0.01,
                                              kHugeSeconds,
                                              std::numeric_limits<double>::infinity(),
                                              std::numeric_limits<double>::quiet_NaN(),
                                              std::numeric_limits<double>::denorm_min()};
        Nivexa_SetExposureTimeEx(h, pick(in_, kSeconds));
      }
    }
  }

  // Marks the handle as acquiring: a stop follows within a few calls.
  void started(LONG h) {
    for (size_t i = 0; i < handles_.size(); ++i) {
      if (handles_[i] == h && untilStop_[i] == 0) {
        untilStop_[i] = 1 + in_.below(kMaxCallsUntilStop);
      }
    }
  }

  void stopWhenDue() {
    for (size_t i = 0; i < handles_.size(); ++i) {
      if (untilStop_[i] != 0 && --untilStop_[i] == 0) {
        Nivexa_StopPreview(handles_[i]);
        NivexaStream_Stop(handles_[i]);
      }
    }
  }

  void start(HandleGetter call) {
    const LONG h = handle();
    call(h);
    started(h);
  }

  void callbackPreview() {
    const LONG h = handle();
    const HWND notify = window();
    const auto [buffer, size] = lend(h);
    if (in_.flag()) {
      Nivexa_CallBackPreview(h, notify, buffer, size, in_.flag());
    } else {
      Nivexa_Trigger(h, notify, buffer, size, in_.flag());
    }
    started(h);
  }

  void imageInto(int32_t (*call)(int32_t, uint8_t*, int32_t, int32_t)) {
    const LONG h = handle();
    const auto [buffer, size] = lend(h);
    call(h, buffer, size, in_.flag());
  }

  void devices() {
    const LONG h = handle();
    if (in_.flag()) {
      std::vector<std::array<char, kNameColumns>> names(kNameRows);
      Nivexa_EnumDevice(
          h, in_.flag() ? reinterpret_cast<char(*)[kNameColumns]>(names.data()) : nullptr);
    } else {
      std::vector<std::array<wchar_t, kNameColumns>> names(kNameRows);
      Nivexa_EnumDeviceW(
          h, in_.flag() ? reinterpret_cast<wchar_t(*)[kNameColumns]>(names.data()) : nullptr);
    }
  }

  void names() {
    const LONG h = handle();
    const LONG index = in_.value();
    const int32_t size = in_.size(kSmallBuffer);
    const bool null = in_.flag();
    const size_t count = size > 0 ? static_cast<size_t>(size) : 0;
    std::vector<char> narrow(count);
    std::vector<wchar_t> wide(count);
    switch (in_.below(4)) {
      case 0:
        Nivexa_GetDeviceName(h, index, null ? nullptr : narrow.data(), size);
        break;
      case 1:
        Nivexa_GetDeviceNameW(h, index, null ? nullptr : wide.data(), size);
        break;
      case 2:
        Nivexa_ReadSerialNumberA(h, null ? nullptr : narrow.data(), size);
        break;
      default:
        Nivexa_ReadSerialNumberW(h, null ? nullptr : wide.data(), size);
        break;
    }
  }

  void cameraInfo() {
    const LONG h = handle();
    if (in_.flag()) {
      Nivexa_GetCameraInfo(h, nullptr);
      return;
    }
    // The record says how many bytes it has, and the memory behind it has exactly that many
    // (never fewer than the size field itself).
    const auto stated = static_cast<LONG>(in_.below(sizeof(NivexaCameraInfo) + kSmallBuffer));
    std::vector<uint8_t> memory(std::max<size_t>(static_cast<size_t>(stated), sizeof(LONG)));
    std::memcpy(memory.data(), &stated, sizeof stated);
    Nivexa_GetCameraInfo(h, reinterpret_cast<NivexaCameraInfo*>(memory.data()));
  }

  void smallOutputs() {
    const LONG h = handle();
    LONG value = 0;
    if (in_.flag()) {
      Nivexa_GetSamplingRate(h, in_.flag() ? &value : nullptr);
    } else {
      Nivexa_GetVideoFormat(h, in_.flag() ? &value : nullptr);
    }
  }

  void captureWindow() {
    const LONG h = handle();
    if (in_.flag()) {
      std::array<LONG, 6> v{};
      for (LONG& each : v) {
        each = in_.value();
      }
      Nivexa_SetCaptureWindowEx(h, v[0], v[1], v[2], v[3], v[4], v[5]);
      return;
    }
    std::array<LONG, 6> out{};
    const uint8_t nulls = in_.byte();
    const auto at = [&](size_t i) { return (nulls >> i) & 1 ? nullptr : &out[i]; };
    Nivexa_GetCaptureWindowEx(h, at(0), at(1), at(2), at(3), at(4), at(5));
  }

  static std::wstring widen(const std::string& narrow) {
    return std::wstring(narrow.begin(), narrow.end());
  }

  void saveImage() {
    const LONG h = handle();
    const std::string to = path();
    const LONG type = in_.flag() ? static_cast<LONG>(in_.below(kMaxSaveType)) : in_.value();
    switch (in_.below(3)) {
      case 0:
        Nivexa_SaveImage(h, to.c_str(), type);
        break;
      case 1:
        Nivexa_SaveImageW(h, widen(to).c_str(), type);
        break;
      default:
        Nivexa_SaveImage(h, nullptr, type);
        break;
    }
  }

  void record() {
    const LONG h = handle();
    const std::string to = path();
    const LONG duration = in_.value();
    const BOOL show = in_.flag();
    switch (in_.below(3)) {
      case 0:
        Nivexa_Record(h, to.c_str(), duration, show);
        break;
      case 1:
        Nivexa_RecordW(h, widen(to).c_str(), duration, show);
        break;
      default:
        Nivexa_Record(h, nullptr, duration, show);
        break;
    }
    started(h);
  }

  void mask() {
    const LONG h = handle();
    const std::string at = in_.flag() ? filePath("mask.msk") : path();
    switch (in_.below(5)) {
      case 0:
        Nivexa_SaveMaskFile(h, at.c_str());
        break;
      case 1:
        Nivexa_SaveMaskFileW(h, widen(at).c_str());
        break;
      case 2:
        Nivexa_LoadMaskFile(h, at.c_str());
        break;
      case 3:
        Nivexa_LoadMaskFileW(h, widen(at).c_str());
        break;
      default:
        Nivexa_LoadMaskFile(h, nullptr);
        break;
    }
  }

  void config() {
    const LONG h = handle();
    if (in_.flag()) {
      std::ofstream out(filePath("config.cfg"), std::ios::binary | std::ios::trunc);
      const size_t bytes = in_.below(kMaxConfigBytes);
      for (size_t i = 0; i < bytes; ++i) {
        out.put(static_cast<char>(in_.byte()));
      }
    }
    const std::string at = in_.flag() ? filePath("config.cfg") : path();
    switch (in_.below(3)) {
      case 0:
        Nivexa_LoadConfigFileA(h, at.c_str());
        break;
      case 1:
        Nivexa_LoadConfigFileW(h, widen(at).c_str());
        break;
      default:
        Nivexa_LoadConfigFileW(h, nullptr);
        break;
    }
  }

  int32_t streamFlags() {
    return in_.flag() ? static_cast<int32_t>(
                            in_.below((NIVEXA_STREAM_PROCESSED | NIVEXA_STREAM_TRIGGERED) + 1))
                      : in_.value();
  }

  void streamStart() {
    const LONG h = handle();
    NivexaStream_Start(h, streamFlags());
    started(h);
  }

  void streamQueue() {
    const LONG h = handle();
    if (in_.flag() || streamBuffers_.size() >= kMaxStreamBuffers) {
      NivexaStream_Queue(h, streamBuffers_.empty() || in_.flag()
                                ? nullptr
                                : streamBuffers_[in_.below(streamBuffers_.size())].get());
      return;
    }
    const int64_t frame = NivexaStream_FrameBytes(h, streamFlags());
    const int32_t stated = in_.size(frame);
    auto buffer = std::make_unique<NivexaBuffer>();
    lent_.push_back(bufferOf(stated));
    buffer->data = in_.flag() ? nullptr : lent_.back().get();
    buffer->capacity = static_cast<uint32_t>(std::max(stated, 0));
    NivexaStream_Queue(h, buffer.get());
    streamBuffers_.push_back(std::move(buffer));
  }

  // Never without limit (a negative time-out): on a handle that streams nothing that waits for
  // ever, as documented, and the input would never end.
  void streamWait() {
    const LONG h = handle();
    NivexaStream_Wait(h, static_cast<int32_t>(in_.below(kMaxWaitMs)));
  }

  void streamControl() {
    const LONG h = handle();
    switch (in_.below(5)) {
      case 0:
        NivexaStream_Stop(h);
        break;
      case 1:
        if (in_.flag()) {
          NivexaStream_SetCallback(h, nullptr, nullptr);
        } else {
          // Kept to the end of the input: the stream may call back until its handle is gone.
          auto context = std::make_unique<CallbackContext>();
          context->h = h;
          context->action =
              static_cast<CallbackAction>(in_.below(static_cast<uint32_t>(CallbackAction::kCount)));
          NivexaStream_SetCallback(h, streamCallback, context.get());
          callbackContexts_.push_back(std::move(context));
        }
        break;
      case 2: {
        NivexaStreamStatistics statistics{};
        NivexaStream_GetStatistics(h, in_.flag() ? &statistics : nullptr);
      } break;
      case 3: {
        double framesPerSecond = 0.0;
        NivexaStream_GetFrameRate(h, in_.flag() ? &framesPerSecond : nullptr);
      } break;
      default:
        NivexaStream_FrameBytes(h, streamFlags());
        break;
    }
  }

  void sinks() {
    switch (in_.below(4)) {
      case 0:
        if (sinks_.size() < kMaxSinks) {
          if (HWND sink = NivexaMsg_CreateSink(); sink != nullptr) {
            sinks_.push_back(sink);
          }
        }
        break;
      case 1:
        // A destroyed sink stays in the list: posts to it must fail quietly.
        if (!sinks_.empty()) {
          const size_t i = in_.below(sinks_.size());
          NivexaMsg_DestroySink(sinks_[i]);
          destroyed_.push_back(sinks_[i]);
          sinks_.erase(sinks_.begin() + static_cast<std::ptrdiff_t>(i));
        }
        break;
      case 2: {
        NivexaMsg msg;
        const HWND from = destroyed_.empty() || in_.flag() ? window() : destroyed_.front();
        NivexaMsg* const out = in_.flag() ? &msg : nullptr;
        NivexaMsg_Get(from, out, static_cast<int32_t>(in_.below(2)));
      } break;
      default:
        NivexaMsg_Fd(window());
        break;
    }
  }

  // A second thread that, after a short delay, stops or changes a setting of a handle that may be
  // streaming.
  void helper() {
    joinHelper();
    const LONG h = handle();
    const auto delay = std::chrono::milliseconds(in_.below(kMaxHelperDelayMs));
    const uint32_t what = in_.below(4);
    const Setter setter = pick(in_, kStreamingSetters);
    const int32_t value = in_.value();
    const auto image = lend(h);
    helper_ = std::thread([=] {
      std::this_thread::sleep_for(delay);
      switch (what) {
        case 0:
          Nivexa_StopPreview(h);
          break;
        case 1:
          NivexaStream_Stop(h);
          break;
        case 2:
          setter(h, value);
          break;
        default:
          Nivexa_GetImage(h, image.first, image.second, 1);
          break;
      }
    });
  }

  void joinHelper() {
    if (helper_.joinable()) {
      helper_.join();
    }
  }

  // The camera goes away under whatever uses it, or its hardware starts failing: time-outs and
  // short or mislabelled transfers strike a few times, bus and memory faults may stay.
  void hardware() {
    if (cameras_.empty()) {
      return;
    }
    const size_t i = in_.below(cameras_.size());
    if (in_.flag()) {
      sim::removeCamera(cameras_[i]);
      cameras_.erase(cameras_.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
    const auto fault = static_cast<sim::Fault>(in_.below(sim::kFaultCount));
    const bool transfer = fault == sim::Fault::HeaderTimeout ||
                          fault == sim::Fault::PayloadTimeout || fault == sim::Fault::ShortRead;
    cameras_[i]->setFault(fault, transfer || in_.flag()
                                     ? 1 + static_cast<int>(in_.below(kMaxFaultStrikes))
                                     : sim::kPersistent);
  }

  // AVI files from buffers: made on any handle with any format, fed buffers of the
  // application's own (sized around the file's frame, in any state), closed and released in any
  // order, a file released before passed again.
  void avi() {
    switch (in_.below(4)) {
      case 0: {
        if (aviFiles_.size() >= kMaxAviFiles) {
          return;
        }
        static constexpr int32_t kDepths[] = {8, 16, 24, 32, 0, -8};
        const std::string at = in_.flag() ? filePath("buffers.avi") : path();
        const auto width = static_cast<int32_t>(in_.below(kMaxAviSide)) - 1;
        const auto height = static_cast<int32_t>(in_.below(kMaxAviSide)) - 1;
        const LONG h = handle();
        const char* name = in_.flag() ? at.c_str() : nullptr;
        const int32_t depth = pick(in_, kDepths);
        const double rate = in_.flag() ? kAviRate : -kAviRate;
        const uint64_t most = in_.below(kMaxAviFrames + 1);
        NivexaAviFile* file = NivexaStream_AviCreate(h, name, width, height, depth, rate, most);
        if (file != nullptr) {
          aviFiles_.push_back(file);
          aviFrames_.push_back(static_cast<int64_t>(width) * std::max(height, 0) * kMaxAviDepth);
        }
      } break;
      case 1: {
        const size_t i = in_.below(aviFiles_.size() + 1);
        const int64_t frame = i < aviFiles_.size() ? aviFrames_[i] : 0;
        const int32_t bytes = in_.size(frame);
        lent_.push_back(bufferOf(bytes));
        NivexaBuffer buffer{};
        buffer.data = in_.flag() ? nullptr : lent_.back().get();
        buffer.capacity = static_cast<uint32_t>(std::max(bytes, 0));
        buffer.status =
            in_.flag() ? NIVEXA_BUFFER_COMPLETE : in_.below(NIVEXA_BUFFER_CANCELLED + 2);
        buffer.width = in_.value();
        buffer.height = in_.value();
        buffer.bitsPerPixel = in_.value();
        buffer.stride = in_.value();
        NivexaStream_AviAppend(i < aviFiles_.size() ? aviFiles_[i] : nullptr, &buffer);
      } break;
      case 2:
        if (!aviFiles_.empty()) {
          NivexaStream_AviClose(aviFiles_[in_.below(aviFiles_.size())]);
        }
        break;
      default:
        if (!aviFiles_.empty()) {
          const size_t i = in_.below(aviFiles_.size());
          NivexaStream_AviRelease(aviFiles_[i]);
          // Kept, so that a later release passes a file released before.
          if (in_.flag()) {
            aviFiles_.erase(aviFiles_.begin() + static_cast<std::ptrdiff_t>(i));
            aviFrames_.erase(aviFrames_.begin() + static_cast<std::ptrdiff_t>(i));
          }
        }
        break;
    }
  }

  void text() {
    const LONG h = handle();
    std::array<char, kTextBytes> text{};
    if (in_.flag()) {
      Nivexa_SendText(h, in_.flag() ? text.data() : nullptr);
    } else {
      Nivexa_ReceiveText(h, in_.flag() ? text.data() : nullptr);
    }
  }

  Reader& in_;
  // Declared first, destroyed last: buffers outlive the handles that may write them.
  std::vector<std::unique_ptr<uint8_t[]>> lent_;
  std::vector<std::unique_ptr<NivexaBuffer>> streamBuffers_;
  std::vector<NivexaAviFile*> aviFiles_;
  std::vector<int64_t> aviFrames_;  // the bytes of one frame of each file, at the most
  std::vector<std::unique_ptr<CallbackContext>> callbackContexts_;
  std::vector<std::shared_ptr<sim::Camera>> cameras_;
  std::vector<LONG> handles_;
  std::vector<bool> live_;
  std::vector<uint8_t> untilStop_;
  std::vector<HWND> sinks_;
  std::vector<HWND> destroyed_;
  uint8_t status_ = 0;
  std::chrono::steady_clock::duration opening_{};
  std::thread helper_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  folder() = nivexa::test::makeTestFolder("nivexa-api-fuzz");
  if (folder().empty()) {
    return 1;
  }
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);
    std::fprintf(stderr, "api_calls_fuzz: %llu calls\n",
                 static_cast<unsigned long long>(callsMade.load()));
  });
  nivexa::platform::setEnvironmentVariable("NIVEXA_REGISTRY_FILE",
                                           filePath("registry.reg").c_str());
  // One machine-wide device table for every run of this program, as the test programs each have
  // theirs: shared memory outlives the process, and a name per run would leave one behind each
  // time. Parallel instances (-fork, -jobs) then see each other's cameras, as two programs would.
  nivexa::platform::setEnvironmentVariable("NIVEXA_SHM_PREFIX", "nivexa-api-fuzz-");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Settings saved by the handles of the previous input would change what this one does.
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder(), ignored)) {
    std::filesystem::remove_all(entry.path(), ignored);
  }
  Reader in({data, size});
  Session session(in);
  session.run();
  return 0;
}

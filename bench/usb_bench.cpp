// The libusb backend reading full frames from an emulated camera (run under
// scripts/emulated-usb-camera.sh): whether it keeps a bulk IN transfer pending at the device
// through the whole payload, and what it costs the host's CPU per frame.
//
// - gap_share: per frame, the share of the payload's read time (from the first transfer's
//   completion to the last's) during which the device had no IN transfer of the frame endpoint
//   to fill; a real device would stall there and, past its FIFO, drop data. Mean and worst
//   frame, from the device's own record of when each URB reached it and when it was filled.
// - event_cpu, caller_cpu: CPU time per frame of the backend's event thread and of the thread
//   that issues the requests, in units of one memcpy of the frame measured in the same run. Both
//   include the emulation's client half (umockdev's preload passes every URB's data through a
//   socket in the process's own threads), so they bound the backend's cost from above.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "memcpy_cost.h"
#include "platform/Event.h"
#include "platform/Thread.h"
#include "sim/FpgaRegisterMap.h"
#include "sim/Fx3FirmwareMap.h"
#include "transport/RequestRecord.h"
#include "transport/drivers/DriverRecord.h"
#include "transport/drivers/LibusbBackend.h"

namespace {

namespace fx3 = nivexa::sim::fx3;
namespace fpga = nivexa::sim::fpga;
namespace fs = std::filesystem;
using namespace nivexa::transport;
using nivexa::platform::Event;

constexpr uint32_t kWaitMs = 10000;
constexpr auto kTimingsWait = std::chrono::seconds(10);
constexpr auto kTimingsPoll = std::chrono::milliseconds(10);

struct Setup {
  uint8_t requestType;
  uint8_t request;
  uint16_t value;
  uint16_t index;
  std::vector<uint8_t> data;
};

class Camera {
 public:
  explicit Camera(bool sixteenBits) : backend_(LibusbBackend::create()) {
    if (!backend_) {
      return;
    }
    auto paths = backend_->enumerate(kCameraInterfaceGuid);
    if (paths.empty()) {
      return;
    }
    handle_ = backend_->open(paths[0], true);
    const std::vector<uint8_t> depth{fpga::kOutputDepth, 0,
                                     sixteenBits ? fpga::kDepth16 : uint8_t{0}};
    ready_ = handle_ != kInvalidDeviceHandle &&
             vendor({fx3::kTypeVendorOut, fx3::kBusWrite, static_cast<uint16_t>(depth.size()),
                     fx3::kFpgaAddress, depth}) &&
             vendor({fx3::kTypeVendorOut, fx3::kStartStream, 0, 0, {}});
  }
  ~Camera() {
    if (handle_ != kInvalidDeviceHandle) {
      backend_->close(handle_);
    }
  }
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;

  bool ready() const { return ready_; }
  LibusbBackend& backend() { return *backend_; }

  // One frame as the controller reads it: ask for it, take its header, then the whole payload
  // in one overlapped request that the backend splits into transfers kept in flight.
  bool readFrame(std::vector<uint8_t>& payload) {
    if (!vendor({fx3::kTypeVendorOutEndpoint, fx3::kRequestFrame, 0, fx3::kFrameEndpoint, {}})) {
      return false;
    }
    std::array<uint8_t, DriverRecord::kSize> record{};
    RequestRecord r;
    r.endpoint = fx3::kFrameEndpoint;
    encodeRequestRecord(r, record);
    std::array<uint8_t, fx3::kFrameHeaderSize> header{};
    if (!backend_->ioctl(handle_, kIoctlDirectTransfer, record, header, nullptr).ok) {
      return false;
    }
    Event done(Event::Reset::Auto);
    Overlapped overlapped(done);
    IoResult result = backend_->ioctl(handle_, kIoctlDirectTransfer, record, payload, &overlapped);
    if (!result.ok && result.error == kErrorIoPending) {
      if (!done.wait(kWaitMs)) {
        return false;
      }
      result = backend_->overlappedResult(handle_, overlapped, false);
    }
    return result.ok && result.bytesReturned == payload.size();
  }

 private:
  bool vendor(const Setup& s) {
    RequestRecord r;
    r.requestType = s.requestType;
    r.request = s.request;
    r.value = s.value;
    r.index = s.index;
    std::optional<VendorBlock> block = encodeVendorBlock(r, s.data);
    return block && backend_->ioctl(handle_, kIoctlVendorRequest, *block, *block, nullptr).ok;
  }

  std::shared_ptr<LibusbBackend> backend_;
  DeviceHandle handle_ = kInvalidDeviceHandle;
  bool ready_ = false;
};

struct Urb {
  int64_t submittedNs;
  int64_t completedNs;
  int64_t bytes;
};

// The device's record of the frame endpoint's transfers since the last request for it.
std::vector<Urb> deviceTimings() {
  const char* control = std::getenv("NIVEXA_USB_EMULATOR_CONTROL");
  if (control == nullptr) {
    return {};
  }
  const fs::path file = fs::temp_directory_path() / "nivexa-usb-bench-timings.txt";
  fs::remove(file);
  std::ofstream(control) << "timings 0 " << file.string() << '\n';
  const auto deadline = std::chrono::steady_clock::now() + kTimingsWait;
  while (!fs::exists(file) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kTimingsPoll);
  }
  std::vector<Urb> urbs;
  std::ifstream in(file);
  Urb u{};
  while (in >> u.submittedNs >> u.completedNs >> u.bytes) {
    urbs.push_back(u);
  }
  fs::remove(file);
  return urbs;
}

struct GapShares {
  double mean = 0;
  double worst = 0;
  size_t frames = 0;
};

// Frames are told apart by their headers: a payload is the run of transfers after one.
GapShares gapShares(const std::vector<Urb>& urbs) {
  GapShares shares;
  double sum = 0;
  auto measure = [&](std::span<const Urb> payload) {
    if (payload.empty()) {
      return;
    }
    const int64_t from = payload.front().completedNs;
    const int64_t to = payload.back().completedNs;
    if (to <= from) {
      return;
    }
    // Covered time within [from, to]: the URBs of one endpoint complete in order, so their
    // pending intervals are swept in submission order.
    int64_t covered = 0;
    int64_t reach = from;
    for (const Urb& u : payload) {
      const int64_t start = std::max(u.submittedNs, reach);
      const int64_t end = std::min(u.completedNs, to);
      if (end > start) {
        covered += end - start;
        reach = end;
      }
    }
    const double share = 1.0 - static_cast<double>(covered) / static_cast<double>(to - from);
    sum += share;
    shares.worst = std::max(shares.worst, share);
    ++shares.frames;
  };
  size_t begin = 0;
  for (size_t i = 0; i <= urbs.size(); ++i) {
    if (i == urbs.size() || urbs[i].bytes == static_cast<int64_t>(fx3::kFrameHeaderSize)) {
      measure(std::span(urbs).subspan(begin, i - begin));
      begin = i + 1;
    }
  }
  shares.mean = shares.frames > 0 ? sum / static_cast<double>(shares.frames) : 0;
  return shares;
}

void BM_FullFrames(benchmark::State& state, bool sixteenBits) {
  Camera camera(sixteenBits);
  if (!camera.ready()) {
    state.SkipWithError("no camera on the bus (run under scripts/emulated-usb-camera.sh)");
    return;
  }
  const size_t frameBytes =
      size_t{fpga::kPowerUpWidth} * fpga::kPowerUpHeight * (sixteenBits ? 2 : 1);
  std::vector<uint8_t> payload(frameBytes);
  // The first frame opens the stream; it is not measured.
  if (!camera.readFrame(payload)) {
    state.SkipWithError("the first frame did not come");
    return;
  }
  (void)deviceTimings();
  const uint64_t eventStart = camera.backend().eventThreadCpuNs();
  const uint64_t callerStart = nivexa::platform::currentThreadCpuNs();
  for (auto _ : state) {
    if (!camera.readFrame(payload)) {
      state.SkipWithError("a frame failed");
      return;
    }
  }
  const double frames = static_cast<double>(state.iterations());
  const double eventNs =
      static_cast<double>(camera.backend().eventThreadCpuNs() - eventStart) / frames;
  const double callerNs =
      static_cast<double>(nivexa::platform::currentThreadCpuNs() - callerStart) / frames;
  const GapShares gaps = gapShares(deviceTimings());
  const double copyNs = nivexa::bench::memcpyNs(frameBytes, false);
  state.counters["gap_share_mean"] = gaps.mean;
  state.counters["gap_share_worst"] = gaps.worst;
  state.counters["frames_timed"] = static_cast<double>(gaps.frames);
  state.counters["memcpy_ms"] = copyNs / 1e6;
  state.counters["event_cpu_memcpys"] = eventNs / copyNs;
  state.counters["caller_cpu_memcpys"] = callerNs / copyNs;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(frameBytes));
}

BENCHMARK_CAPTURE(BM_FullFrames, eight_bit, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);
BENCHMARK_CAPTURE(BM_FullFrames, sixteen_bit, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();

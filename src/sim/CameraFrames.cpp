// The frame side of the virtual camera: arming the next frame on the sensor's timing, rendering
// it, handing it out over the bulk endpoint, and the trigger.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "sim/Camera.h"
#include "sim/FpgaRegisterMap.h"
#include "sim/Fx3FirmwareMap.h"
#include "sim/LittleEndian.h"
#include "sim/SensorRegisterMap.h"

namespace nivexa::sim {
namespace {

// Dark signal at 25 degrees per microsecond at unity gain; doubles every kDarkDoublingC.
constexpr double kDarkRateAt25 = 0.002;
constexpr double kDarkDoublingC = 6.0;
constexpr auto kRenderingRetry = std::chrono::milliseconds(1);
constexpr double kTemperatureStepC = 0.25;  // the image is re-rendered per step, not per drift
constexpr uint32_t kWrongLengthExtra = 4096;
// A sensor nobody has asked a frame of for this long (and this many of its frame periods) stops,
// as streaming has ended; the next request starts it again.
constexpr auto kIdleStop = std::chrono::milliseconds(250);
constexpr int kIdleStopPeriods = 4;

Camera::Clock::duration framePeriod(const SensorSettings& s) {
  return std::chrono::duration_cast<Camera::Clock::duration>(
      std::chrono::duration<double, std::micro>(std::max(1.0, s.framePeriodUs())));
}

// A finished frame stands for the current settings unless they changed since its exposure
// started; the dark signal drifting with the temperature is no change.
bool sameImage(ImageSettings rendered, const ImageSettings& current) {
  rendered.darkDn = current.darkDn;
  return rendered == current;
}

}  // namespace

void Camera::dropFrame() {
  armed_ = false;
  stage_ = Stage::Idle;
  ++frameEpoch_;
}

Camera::Exposure Camera::freeRunExposure(const SensorSettings& s) const {
  Exposure e;
  e.lines = s.exposureLines();
  e.us = e.lines * s.lineTimeUs + sensor::kExposureOffsetUs;
  return e;
}

void Camera::armFrame(Clock::time_point now) {
  dropFrame();
  armed_ = true;
  armedAt_ = now;
  if (options_.pacing == Pacing::Fast) {
    readyAt_ = now;
    return;
  }
  // The sensor runs continuously; a request gets the newest finished frame not sent yet, else
  // the next one that completes.
  SensorSettings s = sensor_.settings();
  if (sensorRunsFreely(s)) {
    runSensorClock(now);
  }
  const auto period = framePeriod(s);
  Clock::time_point next = lastFrameAt_ + period;
  if (next < now) {
    auto behind = (now - lastFrameAt_) / period;
    next = lastFrameAt_ + (behind + 1) * period;
  }
  readyAt_ = next;
}

ImageSettings Camera::imageSettingsLocked(const Exposure& exposure, Clock::time_point now) {
  SensorSettings s = sensor_.settings();
  ImageSettings im;
  im.readout = s.readout;
  im.arrayX = s.arrayX;
  im.arrayY = s.arrayY;
  im.outWidth = s.outWidth;
  im.outHeight = s.outHeight;
  im.mirrorH = s.mirrorH;
  im.mirrorV = s.mirrorV;
  double gain =
      std::pow(10.0, s.gainCode * 0.1 / 20.0) * (s.highGain ? sensor::kHighGainFactor : 1);
  im.gain = gain;
  im.signalScale = exposure.us * gain;
  double t = std::round(thermal_.temperature(now) / kTemperatureStepC) * kTemperatureStepC;
  im.darkDn = kDarkRateAt25 * std::exp2((t - 25.0) / kDarkDoublingC) * exposure.us * gain;
  im.blackLevel = s.blackLevel;
  im.width = std::min(fpga_[fpga::kWidthLow] | (fpga_[fpga::kWidthHigh] << 8), fpga::kMaxCut);
  im.height = std::min(fpga_[fpga::kHeightLow] | (fpga_[fpga::kHeightHigh] << 8), fpga::kMaxCut);
  im.sixteenBit = fpga_[fpga::kOutputDepth] == fpga::kDepth16;
  int expected = s.readout == 0
                     ? (s.mirrorH ? fpga::kLineStartMirrored : fpga::kLineStartNormal)
                     : (s.mirrorH ? fpga::kLineStartHalfMirrored : fpga::kLineStartHalfNormal);
  im.lineShift = (fpga_[fpga::kLineStart] | (fpga_[fpga::kLineStartHigh] << 8)) - expected;
  im.correctDefects = (options_.fpgaVersion & 0x8000) && (fpga_[fpga::kCorrectionControl] & 1);
  im.scene = scene_;
  return im;
}

void Camera::setScene(Illumination scene) {
  std::lock_guard lock(mutex_);
  scene_ = scene;
}

ImageSettings Camera::imageSettings() {
  std::lock_guard lock(mutex_);
  return imageSettingsLocked(freeRunExposure(sensor_.settings()), Clock::now());
}

bool Camera::renderFrame(std::unique_lock<std::mutex>& lock, const ImageSettings& settings) {
  const uint32_t frame = frameCount_;
  const uint64_t epoch = frameEpoch_;
  stage_ = Stage::Rendering;
  lock.unlock();
  std::lock_guard render(renderMutex_);
  rendered_.resize(settings.payloadBytes());
  renderer_.render(settings, frame, rendered_);
  if (renderHook_) {
    renderHook_();
  }
  lock.lock();
  if (!plugged_ || frameEpoch_ != epoch || stage_ != Stage::Rendering) {
    return false;
  }
  payload_.swap(rendered_);
  return true;
}

bool Camera::sensorRunsFreely(const SensorSettings& s) const {
  return options_.pacing == Pacing::Real && plugged_ && !s.standby && !s.waitsForTrigger;
}

void Camera::runSensorClock(Clock::time_point now) {
  lastAsked_ = now;
  if (clockRuns_ || clockStop_) {
    return;
  }
  // A thread that left its loop needs nothing more of the camera's lock: joining it here is quick.
  sensorClock_.join();
  // The model stands in for hardware that costs the host nothing: below the host's threads, its
  // rendering does not hold up theirs on a busy machine. It goes below them after its first
  // frame: that one samples the whole scene, and a host waiting for it (a first snapshot) would
  // otherwise wait seconds on a busy machine.
  clockRuns_ = sensorClock_.start([this] { sensorClockBody(); });
}

void Camera::sensorClockBody() {
  std::unique_lock lock(mutex_);
  // Frames the sensor exposed while nobody streamed are not counted; once running, every period
  // counts, read or not.
  bool counting = false;
  bool lowered = false;
  while (!clockStop_) {
    const SensorSettings s = sensor_.settings();
    const Clock::time_point now = Clock::now();
    const auto period = framePeriod(s);
    const auto idleLimit = std::max<Clock::duration>(kIdleStop, kIdleStopPeriods * period);
    if (!sensorRunsFreely(s) || now - lastAsked_ > idleLimit) {
      break;
    }
    if (lastFrameAt_ + period < now) {
      // Behind the sensor's clock: the sensor just started, or the model's thread got no time
      // on a busy machine. A sensor never skips frames, so those the model had no time to make
      // do not move the counter: a host would otherwise count the model's shortfall as frames
      // it lost. They are only noted; a host that asks late still sees the gaps of the frames
      // rendered while it did not ask.
      const auto behind = (now - lastFrameAt_) / period;
      lastFrameAt_ += behind * period;
      if (counting) {
        unrendered_ += static_cast<uint32_t>(behind);
      }
    }
    counting = true;
    const Clock::time_point exposedUntil = lastFrameAt_ + period;
    Exposure exposure = freeRunExposure(s);
    exposure.readyAt = exposedUntil;
    const ImageSettings settings = imageSettingsLocked(exposure, now);
    const uint32_t frame = frameCount_ + 1;
    const uint64_t generation = generation_;
    lock.unlock();
    {
      std::lock_guard render(renderMutex_);
      exposing_.resize(settings.payloadBytes());
      // Standing for hardware, the model gives way to the host's threads between stripes, but
      // only while the frame is far from due: on a busy machine it must still be ready in time.
      const Clock::time_point givesWayUntil = exposedUntil - period / 2;
      renderer_.render(settings, frame, exposing_, [givesWayUntil] {
        if (Clock::now() < givesWayUntil) {
          platform::yieldCurrentThread();
        }
      });
      if (renderHook_) {
        renderHook_();
      }
    }
    if (!lowered) {
      platform::lowerCurrentThreadPriority();
      lowered = true;
    }
    lock.lock();
    sensorWake_.wait_until(lock, exposedUntil, [this] { return clockStop_; });
    if (clockStop_ || generation != generation_) {
      // Gone or power-cycled meanwhile: the next loop decides whether the sensor still runs.
      counting = false;
      continue;
    }
    lastFrameAt_ = exposedUntil;
    frameCount_ = frame;
    finished_.pixels.swap(exposing_);
    finished_.settings = settings;
    finished_.exposure = exposure;
    finished_.frame = frame;
    finished_.exposedUntil = exposedUntil;
    finished_.settingsAt = now;
    finished_.valid = true;
    lock.unlock();
    notify();
    lock.lock();
  }
  // A sensor that stops exposing leaves nothing in the frame store a later stream could take.
  finished_.valid = false;
  clockRuns_ = false;
}

Camera::BulkResult Camera::takeFinishedFrame(const SensorSettings& s, Clock::time_point now) {
  BulkResult r;
  runSensorClock(now);
  // The FPGA keeps the newest finished frame until it is sent or overwritten: a request that
  // comes a little after the frame ended still gets it, one that comes late gets a newer one.
  if (!finished_.valid) {
    r.retryAt = now < readyAt_ ? readyAt_ : now + kRenderingRetry;
    return r;
  }
  if (finished_.settingsAt < armedAt_ &&
      !sameImage(finished_.settings, imageSettingsLocked(freeRunExposure(s), now))) {
    // Exposed before the settings changed: the request waits for the first frame with them.
    // Changes made after the request do not hold it back, so a host that keeps changing
    // settings while it streams still gets frames, as from a sensor that applies them per frame.
    finished_.valid = false;
    r.retryAt = std::max(now, lastFrameAt_ + framePeriod(s));
    return r;
  }
  armed_ = false;
  finished_.valid = false;
  if (consumeFault(Fault::HeaderTimeout)) {
    stage_ = Stage::Stalled;
    return r;
  }
  payload_.swap(finished_.pixels);
  startFrame(finished_.settings, finished_.exposure, finished_.frame, now);
  return r;
}

void Camera::startFrame(const ImageSettings& im, const Exposure& exposure, uint32_t frame,
                        Clock::time_point now) {
  const uint32_t length = im.payloadBytes();
  header_.fill(0);
  std::span<uint8_t> h(header_);
  putU16(h, fx3::kHeaderWidth, static_cast<uint16_t>(im.width));
  putU16(h, fx3::kHeaderHeight, static_cast<uint16_t>(im.height));
  h[fx3::kHeaderBits] = im.sixteenBit ? 16 : 8;
  uint32_t announced = length;
  if (consumeFault(Fault::WrongPayloadLength)) {
    announced += kWrongLengthExtra;
  } else if (consumeFault(Fault::ShortPayloadLength)) {
    announced -= std::min(length, kWrongLengthExtra);
  }
  putU32(h, fx3::kHeaderPayloadLength, announced);
  putU32(h, fx3::kHeaderExposureLines, exposure.lines);
  putU32(h, fx3::kHeaderFrameCounter, frame);
  sendingFrame_ = frame;
  putU32(h, fx3::kHeaderExposureUs, static_cast<uint32_t>(std::lround(exposure.us)));
  putU32(h, fx3::kHeaderTemperature, temperatureRaw(now));
  payloadSent_ = 0;
  payloadCut_ = length > 0 && consumeFault(Fault::ShortRead);
  payloadToSend_ = payloadCut_ ? length / 2 : length;
  stage_ = Stage::Header;
}

Camera::BulkResult Camera::bulk(uint8_t endpoint, std::span<uint8_t> buffer) {
  BulkResult r;
  std::unique_lock lock(mutex_);
  if (!plugged_) {
    r.status = BulkStatus::Gone;
    return r;
  }
  if (!(endpoint & fx3::kDirectionIn)) {
    // Memory commands of other products of the family: accepted and ignored.
    r.status = BulkStatus::Done;
    r.bytes = static_cast<uint32_t>(buffer.size());
    return r;
  }
  if (endpoint != fx3::kFrameEndpoint) {
    return r;  // nothing ever comes on other IN endpoints
  }
  const Clock::time_point now = Clock::now();
  if (consumeFault(Fault::UsbStatus)) {
    r.status = BulkStatus::Done;
    r.usbStatus = fx3::kUsbStatusStall;
    return r;
  }
  if (stage_ == Stage::Idle) {
    if (!armed_) {
      return r;
    }
    SensorSettings s = sensor_.settings();
    if (s.standby) {
      return r;
    }
    if (sensorRunsFreely(s)) {
      r = takeFinishedFrame(s, now);
      if (stage_ != Stage::Header) {
        return r;
      }
    } else {
      Exposure exposure;
      if (s.waitsForTrigger) {
        if (!triggered_) {
          return r;
        }
        exposure = *triggered_;
      } else {
        exposure = freeRunExposure(s);
        exposure.readyAt = readyAt_;
      }
      if (now < exposure.readyAt) {
        r.retryAt = exposure.readyAt;
        return r;
      }
      armed_ = false;
      if (s.waitsForTrigger) {
        triggered_.reset();
      } else {
        lastFrameAt_ = exposure.readyAt;
        ++frameCount_;
      }
      if (consumeFault(Fault::HeaderTimeout)) {
        stage_ = Stage::Stalled;
        return r;
      }
      const ImageSettings settings = imageSettingsLocked(exposure, now);
      if (!renderFrame(lock, settings)) {
        r.status = plugged_ ? BulkStatus::Pending : BulkStatus::Gone;
        return r;
      }
      startFrame(settings, exposure, frameCount_, now);
    }
  }
  switch (stage_) {
    case Stage::Header: {
      uint32_t n = std::min<uint32_t>(fx3::kFrameHeaderSize, static_cast<uint32_t>(buffer.size()));
      std::memcpy(buffer.data(), header_.data(), n);
      stage_ = consumeFault(Fault::PayloadTimeout) ? Stage::Stalled : Stage::Payload;
      if (stage_ == Stage::Payload && payloadToSend_ == 0) {
        stage_ = payloadCut_ ? Stage::ShortPacket : Stage::Idle;
      }
      r.status = BulkStatus::Done;
      r.bytes = n;
      return r;
    }
    case Stage::Payload: {
      uint32_t n =
          std::min<uint32_t>(payloadToSend_ - payloadSent_, static_cast<uint32_t>(buffer.size()));
      std::memcpy(buffer.data(), payload_.data() + payloadSent_, n);
      payloadSent_ += n;
      if (payloadSent_ == payloadToSend_) {
        // A cut frame ends with a short packet. When the cut falls exactly on the end of this
        // transfer, the host got all it asked for, and the short packet (of zero length) ends
        // the next transfer instead; otherwise this one already came back short.
        const bool filled = n == buffer.size();
        if (!payloadCut_) {
          lastDelivery_ = {sendingFrame_, Clock::now()};
        }
        stage_ = payloadCut_ && filled ? Stage::ShortPacket : Stage::Idle;
      }
      r.status = BulkStatus::Done;
      r.bytes = n;
      return r;
    }
    case Stage::ShortPacket:
      stage_ = Stage::Idle;
      r.status = BulkStatus::Done;
      r.bytes = 0;
      return r;
    case Stage::Rendering:
      // Another transfer is rendering the frame; this one asks again shortly.
      r.retryAt = now + kRenderingRetry;
      return r;
    default:
      return r;  // stalled: data never comes
  }
}

bool Camera::fireTrigger() {
  {
    std::lock_guard lock(mutex_);
    SensorSettings s = sensor_.settings();
    if (!plugged_ || s.standby || !s.waitsForTrigger ||
        fpga_[fpga::kTriggerControl] != fpga::kTriggerOn) {
      return false;
    }
    // In trigger mode the FPGA times the exposure from its own copy of the exposure lines.
    Exposure e;
    e.lines = fpga_[fpga::kExposureLinesLow] | (fpga_[fpga::kExposureLinesMid] << 8) |
              (fpga_[fpga::kExposureLinesHigh] << 16);
    e.us = e.lines * s.lineTimeUs + sensor::kExposureOffsetUs;
    Clock::time_point now = Clock::now();
    e.readyAt = now;
    if (options_.pacing == Pacing::Real) {
      e.readyAt += std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double, std::micro>(e.us + s.framePeriodUs()));
    }
    triggered_ = e;
    ++frameCount_;
  }
  notify();
  return true;
}

void Camera::whileRendering(std::function<void()> hook) {
  std::lock_guard render(renderMutex_);
  renderHook_ = std::move(hook);
}

void Camera::resetPipe(uint8_t /*endpoint*/) {}

void Camera::resetPort() {
  {
    std::lock_guard lock(mutex_);
    dropFrame();
  }
  notify();
}

}  // namespace nivexa::sim

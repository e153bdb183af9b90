// Copying frames out of the ring to the camera object, with the sensor's orientation applied.
#include <algorithm>
#include <cstring>

#include "engine/CNivexaU3R5Base.h"

namespace nivexa::engine {

namespace {

void put(uint32_t* out, uint32_t value) {
  if (out != nullptr) {
    *out = value;
  }
}

void putStatus(const FrameSlotInfo& status, uint32_t* frameNumber, uint32_t* infoA,
               uint32_t* headerCounter, uint32_t* infoB, uint32_t* infoC) {
  put(frameNumber, status.frameNumber);
  put(infoA, status.infoA);
  put(headerCounter, status.headerCounter);
  put(infoB, status.infoB);
  put(infoC, status.infoC);
}

// Copies one row, reversing whole pixels when mirrored.
void copyRow(const uint8_t* source, uint8_t* destination, int width, int bytesPerPixel,
             bool mirrored) {
  if (!mirrored) {
    std::memcpy(destination, source, static_cast<size_t>(width) * bytesPerPixel);
    return;
  }
  for (int x = 0; x < width; ++x) {
    std::memcpy(destination + static_cast<size_t>(width - 1 - x) * bytesPerPixel,
                source + static_cast<size_t>(x) * bytesPerPixel,
                static_cast<size_t>(bytesPerPixel));
  }
}

}  // namespace

int CNivexaU3R5Base::copySlot(int slot, std::span<uint8_t> destination, bool topDown,
                              FrameSlotInfo* info) {
  const uint32_t frameBytes = frameSize_;
  if (frameBytes == 0 || destination.size() < frameBytes) {
    return 0;
  }
  const int orientation = sensor_ ? sensor_->info().orientation : sensors::kOrientationNormal;
  const bool mirrored = orientation == sensors::kOrientationMirrored ||
                        orientation == sensors::kOrientationBothFlipped;
  const bool flipped = orientation == sensors::kOrientationFlipped ||
                       orientation == sensors::kOrientationBothFlipped;
  const bool rowsInOrder = topDown != flipped;
  const int width = frameWidth_;
  const int height = frameHeight_;
  const int bytesPerPixel = frameBytesPerPixel_;
  const size_t stride = static_cast<size_t>(width) * bytesPerPixel;
  return ring_.readSlot(slot, frameBytes,
                        [&](std::span<const uint8_t> pixels, const FrameSlotInfo& status) {
                          if (!mirrored && rowsInOrder) {
                            std::memcpy(destination.data(), pixels.data(), frameBytes);
                          } else {
                            for (int y = 0; y < height; ++y) {
                              const int from = rowsInOrder ? y : height - 1 - y;
                              copyRow(pixels.data() + stride * from,
                                      destination.data() + stride * y, width, bytesPerPixel,
                                      mirrored);
                            }
                          }
                          if (info != nullptr) {
                            *info = status;
                          }
                        })
             ? 1
             : 0;
}

void CNivexaU3R5Base::markRead(int slot) {
  ring_.setReadMark(slot + 1 == ring_.slotCount() ? 0 : slot + 1);
}

int CNivexaU3R5Base::CopyFrame(std::span<uint8_t> destination, uint32_t* frameNumber,
                               uint32_t* infoA, uint32_t* headerCounter, uint32_t* infoB,
                               uint32_t* infoC, bool firstSlot, bool topDown) {
  FrameSlotInfo status;
  const int slot = firstSlot ? 0 : ring_.newestSlot();
  if (!copySlot(slot, destination, topDown, &status)) {
    return 0;
  }
  putStatus(status, frameNumber, infoA, headerCounter, infoB, infoC);
  return 1;
}

int CNivexaU3R5Base::CopyFirstSlot(std::span<uint8_t> destination) {
  if (destination.data() == nullptr) {
    return -2;
  }
  CopyFrame(destination, nullptr, nullptr, nullptr, nullptr, nullptr, true, false);
  return 0;
}

int CNivexaU3R5Base::CopyNewestFrame(std::span<uint8_t> destination) {
  const int slot = ring_.newestSlot();
  if (!copySlot(slot, destination, false, nullptr)) {
    return 0;
  }
  markRead(slot);
  return 1;
}

int CNivexaU3R5Base::CopyNewestFrameStamped(std::span<uint8_t> destination, uint64_t* stamp,
                                            uint8_t* headerByte) {
  FrameSlotInfo status;
  const int slot = ring_.newestSlot();
  if (!copySlot(slot, destination, true, &status)) {
    return 0;
  }
  if (stamp != nullptr && productHas(family::kStampedFrames)) {
    *stamp = status.stamp;
  }
  if (headerByte != nullptr && productHas(family::kStampedFrames)) {
    *headerByte = status.headerByte;
  }
  markRead(slot);
  return 1;
}

int CNivexaU3R5Base::CopyNewestFrameWithInfo(std::span<uint8_t> destination, uint32_t* frameNumber,
                                             uint32_t* infoA, uint32_t* headerCounter,
                                             uint32_t* infoB, uint32_t* infoC) {
  FrameSlotInfo status;
  const int slot = ring_.newestSlot();
  if (!copySlot(slot, destination, false, &status)) {
    return 0;
  }
  putStatus(status, frameNumber, infoA, headerCounter, infoB, infoC);
  markRead(slot);
  return 1;
}

int CNivexaU3R5Base::CopyNewestFrameRecord(std::span<uint8_t> destination, FrameSlotInfo* record) {
  const int slot = ring_.newestSlot();
  const bool read = destination.empty()
                        ? ring_.readSlot(slot, 0,
                                         [&](std::span<const uint8_t>,
                                             const FrameSlotInfo& status) { *record = status; })
                        : copySlot(slot, destination, true, record) != 0;
  if (!read) {
    return 0;
  }
  markRead(slot);
  return 1;
}

}  // namespace nivexa::engine

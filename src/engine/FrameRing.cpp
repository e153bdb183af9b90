#include "engine/FrameRing.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace nivexa::engine {

namespace {

uint64_t steadyNowNs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace

void FrameRing::setSlotCount(int slots) {
  release();
  slotCount_ = slots;
  slots_ = std::vector<Slot>(static_cast<size_t>(slots));
  writeIndex_ = 0;
  readMark_ = slots - 1;
}

bool FrameRing::allocate(size_t bytes) {
  for (Slot& slot : slots_) {
    std::lock_guard lock(slot.mutex);
    // Zeroed: a consumer that copies before the first frame gets black, not stale heap bytes.
    slot.pixels.reset(new (std::nothrow) uint8_t[bytes]());
    slot.info = FrameSlotInfo{};
    slot.holdsFrame = true;
    if (!slot.pixels) {
      release();
      return false;
    }
  }
  bytesPerSlot_ = bytes;
  return true;
}

void FrameRing::release() {
  for (Slot& slot : slots_) {
    std::lock_guard lock(slot.mutex);
    slot.pixels.reset();
    slot.info = FrameSlotInfo{};
  }
  bytesPerSlot_ = 0;
}

int FrameRing::newestSlot() const {
  const int write = writeIndex();
  return write == 0 ? slotCount_ - 1 : write - 1;
}

void FrameRing::storeHeaderInfo(uint32_t infoA, uint32_t headerCounter, uint32_t infoB,
                                uint32_t infoC) {
  Slot& slot = slots_[static_cast<size_t>(writeIndex())];
  std::lock_guard lock(slot.mutex);
  slot.info.infoA = infoA;
  slot.info.headerCounter = headerCounter;
  slot.info.infoB = infoB;
  slot.info.infoC = infoC;
}

void FrameRing::storeFrameAt(int index, std::span<const uint8_t> pixels, uint32_t frameNumber,
                             uint64_t stamp, uint8_t headerByte) {
  Slot& slot = slots_[static_cast<size_t>(index)];
  std::lock_guard lock(slot.mutex);
  if (slot.pixels) {
    std::copy_n(pixels.data(), std::min(pixels.size(), bytesPerSlot_.load()), slot.pixels.get());
  }
  slot.holdsFrame = true;
  recordArrival(slot, frameNumber, stamp, headerByte);
}

void FrameRing::exchangeFrame(std::unique_ptr<uint8_t[]>& buffer, uint32_t frameNumber,
                              uint64_t stamp, uint8_t headerByte) {
  const int write = writeIndex();
  Slot& slot = slots_[static_cast<size_t>(write)];
  {
    std::lock_guard lock(slot.mutex);
    slot.pixels.swap(buffer);
    slot.holdsFrame = true;
    recordArrival(slot, frameNumber, stamp, headerByte);
  }
  writeIndex_.store(write + 1 == slotCount_ ? 0 : write + 1, std::memory_order_release);
}

FrameSlotInfo FrameRing::recordFrameElsewhere(uint32_t frameNumber, uint64_t stamp,
                                              uint8_t headerByte) {
  const int write = writeIndex();
  Slot& slot = slots_[static_cast<size_t>(write)];
  FrameSlotInfo record;
  {
    std::lock_guard lock(slot.mutex);
    slot.holdsFrame = false;
    recordArrival(slot, frameNumber, stamp, headerByte);
    record = slot.info;
  }
  writeIndex_.store(write + 1 == slotCount_ ? 0 : write + 1, std::memory_order_release);
  return record;
}

bool FrameRing::holdsFrame(int index) {
  if (index < 0 || index >= slotCount_) {
    return false;
  }
  Slot& slot = slots_[static_cast<size_t>(index)];
  std::lock_guard lock(slot.mutex);
  return slot.holdsFrame;
}

void FrameRing::recordArrival(Slot& slot, uint32_t frameNumber, uint64_t stamp,
                              uint8_t headerByte) {
  slot.info.frameNumber = frameNumber;
  slot.info.stamp = stamp;
  slot.info.headerByte = headerByte;
  slot.info.arrivalNs = steadyNowNs();
  slot.info.sequence = stored_.fetch_add(1, std::memory_order_relaxed) + 1;
}

void FrameRing::storeFrame(std::span<const uint8_t> pixels, uint32_t frameNumber, uint64_t stamp,
                           uint8_t headerByte) {
  const int write = writeIndex();
  storeFrameAt(write, pixels, frameNumber, stamp, headerByte);
  writeIndex_.store(write + 1 == slotCount_ ? 0 : write + 1, std::memory_order_release);
}

}  // namespace nivexa::engine

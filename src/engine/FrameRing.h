#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace nivexa::engine {

// What a slot carries besides its pixels; 0xFFFF words and frame number -1 mark an empty slot.
struct FrameSlotInfo {
  uint32_t frameNumber = 0xFFFFFFFFu;
  uint32_t infoA = 0xFFFF;
  uint32_t headerCounter = 0xFFFF;
  uint32_t infoB = 0xFFFF;
  uint32_t infoC = 0xFFFF;
  uint64_t stamp = 0;
  uint8_t headerByte = 0;
  // Host time, steady clock in nanoseconds, at which the frame reached its slot (0: none yet).
  uint64_t arrivalNs = 0;
  // How many frames the ring had stored when this one arrived, this one included: a consumer
  // that skips from one to another tells frames the host received but never took from those
  // the camera never sent.
  uint64_t sequence = 0;
};

// The ring of frame slots between the capture thread (one producer) and the camera object (one
// consumer). The producer fills the slot at the write index and advances it, wrapping without
// regard to the consumer; the consumer copies the newest slot and moves its read mark.
//
// Each slot has its own lock, held by the producer while it fills the slot and by the consumer
// while it copies it out. A consumer more than a ring's length behind therefore makes the
// producer wait for that one copy instead of handing out a frame half overwritten by a newer
// one; with four slots that needs three further frames to arrive during one copy.
class FrameRing {
 public:
  explicit FrameRing(int slots = 4) { setSlotCount(slots); }
  FrameRing(const FrameRing&) = delete;
  FrameRing& operator=(const FrameRing&) = delete;

  // Drops the buffers; the read mark becomes slots - 1 and the write index 0.
  void setSlotCount(int slots);
  // Buffers of `bytes` each for every slot, their status reset. False when memory runs out
  // (the ring is then left without buffers).
  bool allocate(size_t bytes);
  void release();
  // Told by the size alone: the slots' buffer pointers change hands under their locks.
  bool hasBuffers() const { return bytesPerSlot_.load(std::memory_order_acquire) != 0; }

  int slotCount() const { return slotCount_; }
  int writeIndex() const { return writeIndex_.load(std::memory_order_acquire); }
  int readMark() const { return readMark_.load(std::memory_order_acquire); }
  void setReadMark(int mark) { readMark_.store(mark, std::memory_order_release); }
  // The slot before the write index: the newest frame.
  int newestSlot() const;
  bool hasNewFrame() const { return writeIndex() != readMark(); }

  // Producer side.
  void storeHeaderInfo(uint32_t infoA, uint32_t headerCounter, uint32_t infoB, uint32_t infoC);
  // Fills the slot at the write index and advances the index.
  void storeFrame(std::span<const uint8_t> pixels, uint32_t frameNumber, uint64_t stamp = 0,
                  uint8_t headerByte = 0);
  // Hands a whole receive buffer (of the ring's buffer size) to the slot at the write index and
  // takes the slot's old buffer back in exchange, then advances the index: a finished frame
  // reaches the ring without being copied.
  void exchangeFrame(std::unique_ptr<uint8_t[]>& buffer, uint32_t frameNumber, uint64_t stamp = 0,
                     uint8_t headerByte = 0);
  // Records a frame that was read straight into a consumer's memory, not into the slot at the
  // write index, and advances the index; returns the frame's record. The slot keeps its old
  // pixels but no longer offers them: a reader of its pixels would take them for this frame's.
  FrameSlotInfo recordFrameElsewhere(uint32_t frameNumber, uint64_t stamp = 0,
                                     uint8_t headerByte = 0);
  // Fills one slot without moving the write index (the one-shot capture uses slot 0).
  void storeFrameAt(int slot, std::span<const uint8_t> pixels, uint32_t frameNumber,
                    uint64_t stamp = 0, uint8_t headerByte = 0);
  // Triggered capture starts with nothing unread.
  void resetWriteToReadMark() { writeIndex_.store(readMark(), std::memory_order_release); }

  // Whether the slot's pixels are the frame its record describes (not so once the frame went
  // elsewhere).
  bool holdsFrame(int slot);
  // Consumer side: runs `read` on the slot's pixels (`bytes` of them) and status under the
  // slot's lock. False when the ring has no buffers or the slot does not exist, or when pixels
  // are asked of a slot whose frame went elsewhere.
  template <typename Read>
  bool readSlot(int slot, size_t bytes, Read&& read) {
    if (slot < 0 || slot >= slotCount_ || !hasBuffers() || bytes > bytesPerSlot_) {
      return false;
    }
    Slot& s = slots_[static_cast<size_t>(slot)];
    std::lock_guard lock(s.mutex);
    if (!s.pixels || (bytes != 0 && !s.holdsFrame)) {
      return false;
    }
    read(std::span<const uint8_t>(s.pixels.get(), bytes), s.info);
    return true;
  }

 private:
  struct Slot {
    std::unique_ptr<uint8_t[]> pixels;
    FrameSlotInfo info;
    bool holdsFrame = true;  // false: the frame `info` describes is not in `pixels`
    std::mutex mutex;
  };
  // Fills in the frame's own fields of the slot's record; called with the slot's lock held.
  void recordArrival(Slot& slot, uint32_t frameNumber, uint64_t stamp, uint8_t headerByte);

  int slotCount_ = 0;
  std::atomic<size_t> bytesPerSlot_{0};
  std::vector<Slot> slots_;
  std::atomic<int> writeIndex_{0};
  std::atomic<int> readMark_{0};
  std::atomic<uint64_t> stored_{0};
};

}  // namespace nivexa::engine

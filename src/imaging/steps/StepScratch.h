#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

namespace nivexa::imaging::steps {

// Row buffers the demosaic and the sharpness reuse from call to call. Each pipeline owner (a
// camera's frame bitmaps) keeps one, so once the frame size is settled a frame allocates nothing;
// a call given none makes its own. Used by one thread at a time, as its owner's frames are.
class StepScratch {
 public:
  static constexpr size_t kSlots = 3;

  // Slot `slot` of element type T, at least n long. What it holds is left from earlier calls:
  // a step writes every element it reads. Two buffers in use at once need different slots.
  template <class T>
  std::span<T> take(size_t slot, size_t n) {
    std::vector<T>& buffer = pool<T>()[slot];
    if (buffer.size() < n) {
      buffer.resize(n);
    }
    return {buffer.data(), n};
  }

 private:
  template <class T>
  std::array<std::vector<T>, kSlots>& pool() {
    if constexpr (std::is_same_v<T, uint8_t>) {
      return bytes_;
    } else if constexpr (std::is_same_v<T, uint16_t>) {
      return halves_;
    } else {
      static_assert(std::is_same_v<T, uint32_t>, "scratch holds 8-, 16- and 32-bit elements");
      return words_;
    }
  }

  std::array<std::vector<uint8_t>, kSlots> bytes_;
  std::array<std::vector<uint16_t>, kSlots> halves_;
  std::array<std::vector<uint32_t>, kSlots> words_;
};

}  // namespace nivexa::imaging::steps

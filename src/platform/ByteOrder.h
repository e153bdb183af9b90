#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

// Multi-byte values in byte buffers, for every wire and file format the library reads or writes:
// little-endian for the driver records, frame headers and files, big-endian where a serial-bus
// device takes its address or word most significant byte first (and in a GUID's text order). Each
// value is taken apart and put together byte by byte, so the host's own byte order and the
// alignment of `at` never matter. The caller has checked that the value fits: at + sizeof(value) <=
// bytes.size().
namespace nivexa::platform {

template <typename T>
constexpr T loadLe(std::span<const uint8_t> bytes, size_t at) {
  static_assert(std::is_unsigned_v<T>);
  T value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) {
    value = static_cast<T>(value | static_cast<T>(bytes[at + i]) << (CHAR_BIT * i));
  }
  return value;
}

template <typename T>
constexpr void storeLe(std::span<uint8_t> bytes, size_t at, T value) {
  static_assert(std::is_unsigned_v<T>);
  for (size_t i = 0; i < sizeof(T); ++i) {
    bytes[at + i] = static_cast<uint8_t>(value >> (CHAR_BIT * i));
  }
}

constexpr uint16_t loadLe16(std::span<const uint8_t> bytes, size_t at) {
  return loadLe<uint16_t>(bytes, at);
}
constexpr uint32_t loadLe32(std::span<const uint8_t> bytes, size_t at) {
  return loadLe<uint32_t>(bytes, at);
}
constexpr uint64_t loadLe64(std::span<const uint8_t> bytes, size_t at) {
  return loadLe<uint64_t>(bytes, at);
}

constexpr void storeLe16(std::span<uint8_t> bytes, size_t at, uint16_t value) {
  storeLe(bytes, at, value);
}
constexpr void storeLe32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
  storeLe(bytes, at, value);
}
constexpr void storeLe64(std::span<uint8_t> bytes, size_t at, uint64_t value) {
  storeLe(bytes, at, value);
}

template <typename T>
constexpr T loadBe(std::span<const uint8_t> bytes, size_t at) {
  static_assert(std::is_unsigned_v<T>);
  T value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) {
    value = static_cast<T>(value << CHAR_BIT | bytes[at + i]);
  }
  return value;
}

template <typename T>
constexpr void storeBe(std::span<uint8_t> bytes, size_t at, T value) {
  static_assert(std::is_unsigned_v<T>);
  for (size_t i = 0; i < sizeof(T); ++i) {
    bytes[at + i] = static_cast<uint8_t>(value >> (CHAR_BIT * (sizeof(T) - 1 - i)));
  }
}

constexpr uint16_t loadBe16(std::span<const uint8_t> bytes, size_t at) {
  return loadBe<uint16_t>(bytes, at);
}
constexpr uint32_t loadBe32(std::span<const uint8_t> bytes, size_t at) {
  return loadBe<uint32_t>(bytes, at);
}
constexpr void storeBe16(std::span<uint8_t> bytes, size_t at, uint16_t value) {
  storeBe(bytes, at, value);
}
constexpr void storeBe32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
  storeBe(bytes, at, value);
}

}  // namespace nivexa::platform

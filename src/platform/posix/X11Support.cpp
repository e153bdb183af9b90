#include "platform/posix/X11Support.h"

#include <bit>
#include <mutex>
#include <unordered_map>

#include "platform/posix/X11Library.h"

namespace nivexa::platform::x11 {

namespace {

struct ErrorTrap {
  std::mutex mutex;
  std::unordered_map<Display*, int> errors;  // our connections and their first error
  XErrorHandler previous = nullptr;
  bool installed = false;
};

ErrorTrap& trap() {
  static auto* instance = new ErrorTrap;  // never destroyed: window threads outlive exit()
  return *instance;
}

int onError(Display* display, XErrorEvent* event) {
  XErrorHandler previous = nullptr;
  {
    auto& t = trap();
    std::lock_guard lock(t.mutex);
    if (auto found = t.errors.find(display); found != t.errors.end()) {
      if (found->second == 0) {
        found->second = event->error_code;
      }
      return 0;
    }
    previous = t.previous;
  }
  return previous != nullptr ? previous(display, event) : 0;
}

int shiftOf(unsigned long mask) {
  return mask == 0 ? -1 : std::countr_zero(mask);
}

}  // namespace

void registerConnection(Display* display) {
  auto& t = trap();
  std::lock_guard lock(t.mutex);
  if (!t.installed) {
    t.previous = library()->XSetErrorHandler(onError);
    t.installed = true;
  }
  t.errors[display] = 0;
}

void unregisterConnection(Display* display) {
  auto& t = trap();
  std::lock_guard lock(t.mutex);
  t.errors.erase(display);
}

int takeError(Display* display) {
  library()->XSync(display, False);
  auto& t = trap();
  std::lock_guard lock(t.mutex);
  auto found = t.errors.find(display);
  if (found == t.errors.end()) {
    return 0;
  }
  const int code = found->second;
  found->second = 0;
  return code;
}

bool pixelLayoutOf(const XVisualInfo& visual, PixelLayout& layout) {
  const bool byteChannels = visual.red_mask >> shiftOf(visual.red_mask) == 0xFF &&
                            visual.green_mask >> shiftOf(visual.green_mask) == 0xFF &&
                            visual.blue_mask >> shiftOf(visual.blue_mask) == 0xFF;
  if (!byteChannels) {
    return false;
  }
  layout.redShift = shiftOf(visual.red_mask);
  layout.greenShift = shiftOf(visual.green_mask);
  layout.blueShift = shiftOf(visual.blue_mask);
  return true;
}

void convertGrayRow(const uint8_t* source, uint32_t* destination, int32_t width,
                    const uint32_t (&lookup)[256]) {
  for (int32_t x = 0; x < width; ++x) {
    destination[x] = lookup[source[x]];
  }
}

void convertGrayRampRow(const uint8_t* source, uint32_t* destination, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    destination[x] = source[x] * 0x010101u;
  }
}

bool isGrayRamp(const uint32_t (&lookup)[256]) {
  for (uint32_t i = 0; i < 256; ++i) {
    if (lookup[i] != i * 0x010101u) {
      return false;
    }
  }
  return true;
}

void convertBgrRow(const uint8_t* source, uint32_t* destination, int32_t width,
                   const PixelLayout& layout) {
  for (int32_t x = 0; x < width; ++x) {
    destination[x] = layout.pixel(source[3 * x + 2], source[3 * x + 1], source[3 * x]);
  }
}

void paletteLookup(std::span<const uint8_t> palette, const PixelLayout& layout,
                   uint32_t (&lookup)[256]) {
  for (size_t i = 0; i < 256; ++i) {
    const size_t at = 4 * i;
    lookup[i] = at + 2 < palette.size()
                    ? layout.pixel(palette[at + 2], palette[at + 1], palette[at])
                    : layout.pixel(static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                                   static_cast<uint8_t>(i));
  }
}

}  // namespace nivexa::platform::x11

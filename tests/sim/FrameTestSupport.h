#pragma once

// Programs a virtual camera the way a driver would, through the driver interface, with register
// numbers written down here from the hardware facts (not shared with any driver code).

#include <cmath>
#include <cstdint>
#include <vector>

#include "transport/drivers/VirtualCameraRig.h"

namespace nivexa::sim::testing {

using transport::testing::Rig;

struct Image {
  int width = 0;
  int height = 0;
  int bits = 0;
  std::vector<uint16_t> pixels;
  uint16_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  double mean() const {
    double sum = 0;
    for (uint16_t p : pixels) {
      sum += p;
    }
    return pixels.empty() ? 0 : sum / pixels.size();
  }
};

inline void writeSensor16(Rig& rig, uint16_t reg, int value) {
  rig.sensorWrite(reg, static_cast<uint8_t>(value & 0xFF));
  rig.sensorWrite(static_cast<uint16_t>(reg + 1), static_cast<uint8_t>((value >> 8) & 0x1F));
}

inline void writeSensor24(Rig& rig, uint16_t reg, uint32_t value) {
  for (int i = 0; i < 3; ++i) {
    rig.sensorWrite(static_cast<uint16_t>(reg + i), static_cast<uint8_t>(value >> (8 * i)));
  }
}

// Window in readout mode 0, FPGA cut to match.
inline void setWindow(Rig& rig, int x, int y, int width, int height) {
  rig.sensorWrite(0x304, static_cast<uint8_t>((width != 2048 ? 1 : 0) | (height != 1536 ? 2 : 0)));
  writeSensor16(rig, 0x320, x);
  writeSensor16(rig, 0x322, y);
  writeSensor16(rig, 0x324, width);
  writeSensor16(rig, 0x326, height);
  rig.fpgaWrite(68, static_cast<uint8_t>(width & 0xFF));
  rig.fpgaWrite(69, static_cast<uint8_t>(width >> 8));
  rig.fpgaWrite(64, static_cast<uint8_t>(height & 0xFF));
  rig.fpgaWrite(65, static_cast<uint8_t>(height >> 8));
}

inline void setDepth16(Rig& rig, bool sixteen) {
  rig.fpgaWrite(60, sixteen ? 2 : 1);
}

// Exposure of (frame length - shutter start) lines.
inline void setExposure(Rig& rig, uint32_t frameLength, uint32_t shutter) {
  writeSensor24(rig, 0x2D4, frameLength);
  writeSensor24(rig, 0x440, shutter);
}

inline void setLineLength(Rig& rig, int length) {
  rig.sensorWrite(0x2D8, static_cast<uint8_t>(length & 0xFF));
  rig.sensorWrite(0x2D9, static_cast<uint8_t>(length >> 8));
}

inline Image decode(const Rig::Frame& f) {
  Image im;
  im.width = f.header[8] | (f.header[9] << 8);
  im.height = f.header[10] | (f.header[11] << 8);
  im.bits = f.header[12];
  size_t count = static_cast<size_t>(im.width) * im.height;
  im.pixels.resize(count);
  for (size_t i = 0; i < count; ++i) {
    im.pixels[i] = im.bits == 16
                       ? static_cast<uint16_t>(f.payload[2 * i] | (f.payload[2 * i + 1] << 8))
                       : f.payload[i];
  }
  return im;
}

inline CameraOptions quietOptions() {
  CameraOptions o = Rig::fastOptions();
  o.noise = false;
  return o;
}

}  // namespace nivexa::sim::testing

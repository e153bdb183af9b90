#include "transport/DeviceNames.h"

#include <array>
#include <cstdio>

namespace nivexa::transport {

namespace {
struct NamedProduct {
  uint16_t productId;
  const char* format;  // one %02d: the instance number
};

constexpr std::array<NamedProduct, 14> kEarlierProducts{{
    {0x3020, "NX-VGA-M-USB3-R5_%02d"},
    {0x3030, "NX-VGA-C-USB3-R5_%02d"},
    {0x3040, "NX-130-M-USB3-R5_%02d"},
    {0x3050, "NX-130-C-USB3-R5_%02d"},
    {0x3060, "NX-200-M-USB3-R5_%02d"},
    {0x3070, "NX-200-C-USB3-R5_%02d"},
    {0x3080, "NX-500-M-USB3-R5_%02d"},
    {0x3090, "NX-500-C-USB3-R5_%02d"},
    {0x30A0, "NX-900-M-USB3-R5_%02d"},
    {0x30B0, "NX-900-C-USB3-R5_%02d"},
    {0x3100, "NX-1200-M-USB3-R5_%02d"},
    {0x3110, "NX-1200-C-USB3-R5_%02d"},
    {0x3120, "NX-SWIR-USB3-R5_%02d"},
    {0x3140, "NX-CONVERTER_%02d"},
}};
}  // namespace

std::optional<std::string> earlierProductName(uint16_t productId, int32_t instance) {
  for (const NamedProduct& product : kEarlierProducts) {
    if (product.productId == productId) {
      char text[64];
      std::snprintf(text, sizeof text, product.format, instance);
      return std::string(text);
    }
  }
  return std::nullopt;
}

}  // namespace nivexa::transport

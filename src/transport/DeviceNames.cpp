#include "transport/DeviceNames.h"

#include <cstdio>

#include "family/FamilyTable.h"

namespace nivexa::transport {

std::optional<std::string> earlierProductName(uint16_t productId, int32_t instance) {
  if (productId < kFirstEarlierProduct || productId > kLastEarlierProduct) {
    return std::nullopt;
  }
  const family::FamilyRow* row = family::findFamilyRow(productId);
  if (row == nullptr) {
    return std::nullopt;
  }
  // The model names are ours to choose; the product ID keeps them distinct. The converter is
  // not a camera of the series and goes without the series part.
  char text[64];
  std::snprintf(text, sizeof text,
                row->has(family::kConverter) ? "NX%04X_%02d" : "NX%04X-USB3-R5_%02d", productId,
                instance);
  return std::string(text);
}

}  // namespace nivexa::transport

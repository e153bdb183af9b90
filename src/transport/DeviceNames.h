#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nivexa::transport {

// The family's earlier cameras, whose controller names them itself: the products of the family
// table in this range of product IDs.
inline constexpr uint16_t kFirstEarlierProduct = 0x3020;
inline constexpr uint16_t kLastEarlierProduct = 0x3140;

// Display names of the family's earlier cameras, numbered by instance. This product is not
// among them: its name is made by the camera object.
std::optional<std::string> earlierProductName(uint16_t productId, int32_t instance);

}  // namespace nivexa::transport

#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nivexa::transport {

// Display names of the family's earlier cameras, numbered by instance. This product is not
// among them: its name is made by the camera object.
std::optional<std::string> earlierProductName(uint16_t productId, int32_t instance);

}  // namespace nivexa::transport

#include "platform/TemporaryName.h"

#include <limits>
#include <optional>

namespace nivexa::platform {
namespace {

constexpr std::string_view kEnd = ".tmp";
constexpr uint64_t kDecimal = 10;

// Takes `.<digits>` off the end of `name`.
std::optional<uint64_t> takeNumber(std::string_view& name) {
  const size_t dot = name.find_last_of('.');
  const size_t digits = dot == std::string_view::npos ? 0 : name.size() - dot - 1;
  if (digits == 0 || digits > static_cast<size_t>(std::numeric_limits<uint64_t>::digits10) ||
      name.find_first_not_of("0123456789", dot + 1) != std::string_view::npos) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const char digit : name.substr(dot + 1)) {
    value = value * kDecimal + static_cast<uint64_t>(digit - '0');
  }
  name = name.substr(0, dot);
  return value;
}

}  // namespace

std::string temporaryName(std::string_view base, uint64_t processId, uint32_t sequence) {
  std::string name = ".";
  name += base;
  name += '.';
  name += std::to_string(processId);
  name += '.';
  name += std::to_string(sequence);
  name += kEnd;
  return name;
}

uint64_t temporaryOwner(std::string_view name) {
  if (name.empty() || name.front() != '.' || !name.ends_with(kEnd)) {
    return 0;
  }
  name.remove_suffix(kEnd.size());
  const auto sequence = takeNumber(name);
  const auto owner = sequence ? takeNumber(name) : std::nullopt;
  // What is left is the dot and the target's own, non-empty name.
  return owner && name.size() > 1 ? *owner : 0;
}

}  // namespace nivexa::platform

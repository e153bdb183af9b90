#include "platform/RegistryFuzzTarget.h"

#include "platform/RegistryText.h"

namespace nivexa::platform::regtext {

bool registryTextRoundTrips(std::string_view input) {
  const ParseResult first = parse(input);
  if (!first.ok) {
    return first.document.keys().empty() && first.errorLine > 0 && !first.error.empty();
  }
  const std::string text = write(first.document);
  const ParseResult second = parse(text);
  return second.ok && second.document == first.document && write(second.document) == text;
}

}  // namespace nivexa::platform::regtext

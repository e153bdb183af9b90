#include "output/AviSink.h"

namespace nivexa::output {

std::unique_ptr<AviSink> openAviFileSink(const std::string& path) {
  auto sink = std::make_unique<AviFileSink>();
  if (!sink->create(path)) {
    return nullptr;
  }
  return sink;
}

}  // namespace nivexa::output

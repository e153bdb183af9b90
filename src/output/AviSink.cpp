#include "output/AviSink.h"

namespace nivexa::output {

std::unique_ptr<AviSink> openFileSink(const std::string& path) {
  auto sink = std::make_unique<FileSink>();
  if (!sink->create(path)) {
    return nullptr;
  }
  return sink;
}

}  // namespace nivexa::output

// Linked into every test program: when the runner names a file in NIVEXA_TEST_STARTED_FILE, the
// program creates it as soon as its own code runs. A runner that sees a failed program without
// the file knows the program never started (its loader gave up before any test code), which is
// not a failure of the tests.
#include <cstdlib>
#include <fstream>

namespace {

const bool kMarked = [] {
  const char* path = std::getenv("NIVEXA_TEST_STARTED_FILE");
  if (path != nullptr && *path != '\0') {
    std::ofstream{path};
  }
  return true;
}();

}  // namespace

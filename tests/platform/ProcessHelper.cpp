// The child of the process tests: exits 0 when it received exactly the arguments and the
// environment variable that the test passes, and a code saying what differed otherwise.
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  const char* expected[] = {"a b", "say \"hi\"", "C:\\dir\\", ""};
  if (argc != 5) {
    return 2;
  }
  for (int i = 0; i < 4; ++i) {
    if (std::strcmp(argv[i + 1], expected[i]) != 0) {
      return 3;
    }
  }
  const char* value = std::getenv("NIVEXA_CHILD_TEST");
  return value != nullptr && std::string(value) == "inherited value" ? 0 : 4;
}

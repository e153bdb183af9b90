// The other process of the shared-memory tests. Usage: <name> check | <name> die
//   check: the block must exist already and begin with "parent"; writes "child" at offset 8.
//   die:   writes 9 at offset 0 and ends at once, without closing anything, as a crash would.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/SharedMemory.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    return 2;
  }
  bool created = true;
  auto block = nivexa::platform::SharedMemory::openOrCreate(argv[1], 64, created);
  if (!block) {
    return 3;
  }
  const std::string mode = argv[2];
  if (mode == "die") {
    block->bytes()[0] = 9;
    std::_Exit(0);
  }
  if (mode != "check" || created || std::memcmp(block->bytes().data(), "parent", 7) != 0) {
    return 1;
  }
  std::memcpy(block->bytes().data() + 8, "child", 6);
  return 0;
}

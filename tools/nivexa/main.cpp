// nivexa: command-line tool for the Nivexa SDK. It uses the public C interface, as an
// application would; only the family table, which the C interface does not show, comes from the
// SDK's own static libraries.
#include <cstdio>
#include <cstring>
#include <string>

#include "NivexaSdk.h"
#include "engine/FamilyReport.h"

namespace {

int printUsage(std::FILE* out) {
  std::fputs(
      "usage: nivexa <command>\n"
      "\n"
      "commands:\n"
      "  version   print the SDK version\n"
      "  family    print the camera family: product IDs, drivers, arrays, capabilities\n"
      "  help      print this text\n",
      out);
  return out == stdout ? 0 : 2;
}

std::string versionText(LONG version) {
  const auto word = static_cast<uint32_t>(version);
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", word >> 24, (word >> 16) & 0xFFu,
                (word >> 8) & 0xFFu, word & 0xFFu);
  return text;
}

int printVersion() {
  const LONG version = Nivexa_GetDllVersion();
  std::printf("Nivexa SDK %s (0x%08X)\n", versionText(version).c_str(),
              static_cast<uint32_t>(version));
  return 0;
}

int printFamily() {
  std::printf("%-7s %-33s %-12s %-4s %-7s %-6s %-6s %s\n", "product", "driver", "array", "addr",
              "variant", "orient", "opens", "capabilities");
  for (const auto& row : nivexa::engine::describeFamily()) {
    char array[24];
    std::snprintf(array, sizeof array, "%dx%d", row.arrayWidth, row.arrayHeight);
    char variant[12] = "-";
    if (row.variant != 0) {
      std::snprintf(variant, sizeof variant, "%d", row.variant);
    }
    std::printf("0x%04X  %-33s %-12s %-4u %-7s %-6d %-6s %s\n", row.productId, row.driver.c_str(),
                array, row.deviceAddress, variant, row.orientation, row.programmed ? "yes" : "no",
                nivexa::family::groupNames(row.groups).c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return printUsage(stderr);
  }
  const char* command = argv[1];
  if (std::strcmp(command, "version") == 0) {
    return printVersion();
  }
  if (std::strcmp(command, "family") == 0) {
    return printFamily();
  }
  if (std::strcmp(command, "help") == 0 || std::strcmp(command, "--help") == 0) {
    return printUsage(stdout);
  }
  std::fprintf(stderr, "nivexa: unknown command '%s'\n", command);
  return printUsage(stderr);
}

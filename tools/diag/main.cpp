// nivexa-diag: what the C interface does not show, read from the SDK's own static libraries for
// diagnosis: the camera family's table and the stored settings of every camera position.
#include <cstdio>
#include <cstring>

#include "engine/FamilyReport.h"
#include "settings/SettingsReport.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int usage(std::FILE* out) {
  std::fputs(
      "usage: nivexa-diag COMMAND\n"
      "\n"
      "  family                  the camera family: product IDs, drivers, arrays, capabilities\n"
      "  settings [show]         the stored settings of every camera position\n"
      "  settings reset --yes    remove them (the next start uses the first-run values)\n",
      out);
  return out == stdout ? kExitOk : kExitUsage;
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
  return kExitOk;
}

int runSettings(int argc, char** argv) {
  const char* action = argc > 2 ? argv[2] : "show";
  if (std::strcmp(action, "show") == 0 && argc <= 3) {
    std::fputs(nivexa::settings::describeStoredSettings().c_str(), stdout);
    return kExitOk;
  }
  if (std::strcmp(action, "reset") == 0) {
    if (argc != 4 || std::strcmp(argv[3], "--yes") != 0) {
      std::fputs(
          "nivexa-diag: settings reset removes the stored settings of every camera position;\n"
          "             run 'nivexa-diag settings reset --yes' to confirm\n",
          stderr);
      return kExitUsage;
    }
    const int removed = nivexa::settings::resetStoredSettings();
    if (removed < 0) {
      std::fputs("nivexa-diag: the settings store cannot be written\n", stderr);
      return kExitFailed;
    }
    std::printf("removed the stored settings of %d camera position%s\n", removed,
                removed == 1 ? "" : "s");
    return kExitOk;
  }
  std::fprintf(stderr, "nivexa-diag: unknown settings action '%s' (see 'nivexa-diag --help')\n",
               action);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return usage(stderr);
  }
  if (std::strcmp(argv[1], "family") == 0 && argc == 2) {
    return printFamily();
  }
  if (std::strcmp(argv[1], "settings") == 0) {
    return runSettings(argc, argv);
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
    return usage(stdout);
  }
  std::fprintf(stderr, "nivexa-diag: unknown command '%s' (see 'nivexa-diag --help')\n", argv[1]);
  return kExitUsage;
}

// nivexa: command-line tool for the Nivexa SDK. It uses the public C interface, as an
// application would; only `settings` reads the settings store directly, since the interface
// has no call that lists or clears it.
#include <cstdio>
#include <cstring>
#include <string>

#include "NivexaSdk.h"
#include "settings/SettingsReport.h"

namespace {

int printUsage(std::FILE* out) {
  std::fputs(
      "usage: nivexa <command>\n"
      "\n"
      "commands:\n"
      "  version                 print the SDK version\n"
      "  settings [show]         print the stored settings of every camera position\n"
      "  settings reset --yes    remove them (the next start uses the first-run values)\n"
      "  help                    print this text\n",
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

int runSettings(int argc, char** argv) {
  const char* action = argc > 2 ? argv[2] : "show";
  if (std::strcmp(action, "show") == 0 && argc <= 3) {
    std::fputs(nivexa::settings::describeStoredSettings().c_str(), stdout);
    return 0;
  }
  if (std::strcmp(action, "reset") == 0) {
    if (argc != 4 || std::strcmp(argv[3], "--yes") != 0) {
      std::fputs(
          "nivexa: settings reset removes the stored settings of every camera position;\n"
          "        run 'nivexa settings reset --yes' to confirm\n",
          stderr);
      return 2;
    }
    const int removed = nivexa::settings::resetStoredSettings();
    if (removed < 0) {
      std::fputs("nivexa: the settings store cannot be written\n", stderr);
      return 1;
    }
    std::printf("removed the stored settings of %d camera position%s\n", removed,
                removed == 1 ? "" : "s");
    return 0;
  }
  std::fprintf(stderr, "nivexa: unknown settings action '%s'\n", action);
  return printUsage(stderr);
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
  if (std::strcmp(command, "settings") == 0) {
    return runSettings(argc, argv);
  }
  if (std::strcmp(command, "help") == 0 || std::strcmp(command, "--help") == 0) {
    return printUsage(stdout);
  }
  std::fprintf(stderr, "nivexa: unknown command '%s'\n", command);
  return printUsage(stderr);
}

// nivexa: command-line tool for the Nivexa SDK. It uses the public C interface only, as an
// application would.
#include <cstdio>
#include <cstring>
#include <string>

#include "NivexaSdk.h"

namespace {

int printUsage(std::FILE* out) {
  std::fputs(
      "usage: nivexa <command>\n"
      "\n"
      "commands:\n"
      "  version   print the SDK version\n"
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return printUsage(stderr);
  }
  const char* command = argv[1];
  if (std::strcmp(command, "version") == 0) {
    return printVersion();
  }
  if (std::strcmp(command, "help") == 0 || std::strcmp(command, "--help") == 0) {
    return printUsage(stdout);
  }
  std::fprintf(stderr, "nivexa: unknown command '%s'\n", command);
  return printUsage(stderr);
}

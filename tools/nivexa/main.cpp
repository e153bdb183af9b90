// nivexa: command-line tool for the Nivexa SDK. It uses the public C interface, as an
// application would; what that interface cannot show (the family table, the stored settings)
// is the business of nivexa-diag.
#include <cstdio>
#include <span>
#include <string>

#include "Acquire.h"
#include "Calibrate.h"
#include "Camera.h"
#include "Files.h"
#include "NivexaSdk.h"
#include "Options.h"
#include "compliance/Compliance.h"

namespace {

using nivexa::tool::Command;

int printVersion() {
  const auto word = static_cast<uint32_t>(Nivexa_GetDllVersion());
  std::printf("Nivexa SDK %u.%u.%u.%u (0x%08X)\n", word >> 24, (word >> 16) & 0xFFu,
              (word >> 8) & 0xFFu, word & 0xFFu, word);
  return nivexa::tool::kExitOk;
}

int printHelp(const nivexa::tool::Arguments& args) {
  if (!args.positional().empty()) {
    const auto* command = nivexa::tool::findCommand(args.positional()[0]);
    if (command == nullptr) {
      std::fprintf(stderr, "nivexa help: unknown command '%s' (see 'nivexa --help')\n",
                   args.positional()[0].c_str());
      return nivexa::tool::kExitUsage;
    }
    std::fputs(nivexa::tool::commandHelp(*command).c_str(), stdout);
    return nivexa::tool::kExitOk;
  }
  std::fputs(nivexa::tool::usageText().c_str(), stdout);
  return nivexa::tool::kExitOk;
}

int runCompliance(const nivexa::tool::Arguments& args) {
  ComplianceRequest request;
  request.device = static_cast<int>(args.integer("device", request.device));
  request.filter = args.text("filter", request.filter);
  request.junit = args.text("junit");
  request.list = args.has("list");
  request.repeat = static_cast<int>(args.integer("repeat", request.repeat));
  request.percent = static_cast<int>(args.integer("scale", request.percent));
  request.streamExposureS = args.number("stream-exposure", request.streamExposureS);
  if (!request.junit.empty()) {
    if (const std::string why = nivexa::tool::whyNotWritable(request.junit); !why.empty()) {
      std::fprintf(stderr, "nivexa compliance: cannot write %s: %s\n", request.junit.c_str(),
                   why.c_str());
      return nivexa::tool::kExitFailed;
    }
  }
  // Without an attached camera the suite runs on a virtual one, as the other commands do; only
  // listing the scenarios needs no camera.
  if (!request.list) {
    int count = 0;
    if (!nivexa::tool::openLibrary(count, false)) {
      return nivexa::tool::kExitFailed;
    }
  }
  return runComplianceCommand(request);
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto args = nivexa::tool::parseArguments(std::span<char* const>(argv, argc), error);
  if (!args) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return nivexa::tool::kExitUsage;
  }
  if (args->helpWanted()) {
    for (const auto& command : nivexa::tool::commands()) {
      if (command.id == args->command()) {
        std::fputs(nivexa::tool::commandHelp(command).c_str(), stdout);
      }
    }
    return nivexa::tool::kExitOk;
  }
  switch (args->command()) {
    case Command::List:
      return nivexa::tool::listCameras(*args);
    case Command::Info:
      return nivexa::tool::showInfo(*args);
    case Command::Features:
      return nivexa::tool::showFeatures(*args);
    case Command::Get:
      return nivexa::tool::getParameter(*args);
    case Command::Set:
      return nivexa::tool::setParameter(*args);
    case Command::Stream:
      return nivexa::tool::streamFrames(*args);
    case Command::View:
      return nivexa::tool::viewFrames(*args);
    case Command::Record:
      return nivexa::tool::recordFrames(*args);
    case Command::Snapshot:
      return nivexa::tool::takeSnapshot(*args);
    case Command::Cool:
      return nivexa::tool::coolCamera(*args);
    case Command::Calibrate:
      return nivexa::tool::calibrate(*args);
    case Command::Compliance:
      return runCompliance(*args);
    case Command::Version:
      return printVersion();
    case Command::Help:
      return printHelp(*args);
  }
  return nivexa::tool::kExitUsage;
}

#include "Options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace nivexa::tool {
namespace {

using C = Command;

constexpr double kMaxRepeat = 1000;
constexpr double kWholePercent = 100;
// Nivexa_EnumDevice lists at most ten cameras.
constexpr double kLastDevice = 9;

// The camera options, taken by every command that opens a camera.
constexpr std::array kCameraCommands{C::Info, C::Features, C::Get,      C::Set,  C::Stream,
                                     C::View, C::Record,   C::Snapshot, C::Cool, C::Calibrate};
constexpr std::array kDeviceCommands{C::Info,   C::Features,  C::Get,       C::Set,
                                     C::Stream, C::View,      C::Record,    C::Snapshot,
                                     C::Cool,   C::Calibrate, C::Compliance};
constexpr std::array kTimedCommands{C::Stream, C::Record};
constexpr std::array kView{C::View};
constexpr std::array kJsonCommands{C::List, C::Info, C::Features, C::Stream};
constexpr std::array kOutputCommands{C::Record, C::Snapshot, C::Calibrate};
constexpr std::array kForceCommands{C::Record, C::Snapshot};
constexpr std::array kFramesCommands{C::Calibrate};
constexpr std::array kSnapshot{C::Snapshot};
constexpr std::array kRecord{C::Record};
constexpr std::array kCool{C::Cool};
constexpr std::array kCompliance{C::Compliance};

constexpr std::array kCommands{
    CommandSpec{C::List, "list", "", "cameras with name, serial number and FPGA version", "", 0, 0},
    CommandSpec{C::Info, "info", "",
                "camera information: sensor, exposure range, temperature, cooler, gain", "", 0, 0},
    CommandSpec{C::Features, "features", "",
                "every parameter with its value, unit, range and whether it can be set", "", 0, 0},
    CommandSpec{C::Get, "get", "NAME", "print one parameter (see features)", "", 1, 1},
    CommandSpec{C::Set, "set", "NAME VALUE", "set one parameter (see features)",
                "  The camera keeps the value for its position (see \"Stored settings\").\n", 2, 2},
    CommandSpec{C::Stream, "stream", "",
                "stream processed frames into lent buffers; report the frames delivered, lost "
                "(never received) and dropped (received, not delivered)",
                "  --seconds counts from the first frame.\n", 0, 0},
    CommandSpec{C::View, "view", "",
                "live video in a window with the frame rate in its title; q or closing the "
                "window ends it",
                "  Without --seconds (or with --seconds 0) it runs until the window is closed.\n",
                0, 0},
    CommandSpec{C::Record, "record", "",
                "record frames for --seconds (default 3) into a file (default recording.avi, "
                "recording.tif or recording.raw by --format)",
                "  avi: processed frames, uncompressed, through the library's AVI writer.\n"
                "  tiff: raw 16-bit frames (8-bit with --bits 8), one page each, BigTIFF past 4 "
                "GiB.\n"
                "  raw: raw frames back to back, with FILE.json naming size, depth, frame numbers "
                "and times.\n"
                "  Every frame the stream delivers is written; the frames delivered, lost and "
                "dropped are reported.\n",
                0, 0},
    CommandSpec{C::Snapshot, "snapshot", "",
                "take one frame and save it (default frame.png; the type from the extension "
                "unless --type)",
                "", 0, 0},
    CommandSpec{C::Cool, "cool", "",
                "switch the cooler on and print the temperature each second until it holds "
                "still; exit status 0 when it settled",
                "  Settled: every reading over --settle seconds within 0.2 C of the others (and "
                "with --target,\n  none above the target by more than that).\n",
                0, 0},
    CommandSpec{C::Calibrate, "calibrate", "dark|flat|check [MASKFILE]",
                "take a dark or flat reference into a mask file, or check a mask file on a flat "
                "frame",
                "  calibrate dark -o MASKFILE    lens capped: the dark reference and the hot "
                "pixels\n"
                "  calibrate flat -o MASKFILE    even light: the flat reference and the dead "
                "pixels; an existing\n"
                "                                MASKFILE keeps its dark reference\n"
                "  calibrate check MASKFILE      the non-uniformity of a flat frame without and "
                "with the mask\n"
                "  --frames N: the defect report and the check use the mean of N frames; the "
                "library takes\n"
                "  its reference from the one frame it holds last (see docs/api.md).\n",
                1, 2},
    CommandSpec{C::Compliance, "compliance", "",
                "run the compliance scenarios through the C interface; exit status 0 when none "
                "failed",
                "", 0, 0},
    CommandSpec{C::Version, "version", "", "print the SDK version (also --version)", "", 0, 0},
    CommandSpec{C::Help, "help", "[COMMAND]", "this text, or a command's help", "", 0, 1},
};

constexpr std::array kOptions{
    OptionSpec{"device", 0, ValueKind::Integer, "N", "camera number, as list shows it (default 0)",
               kDeviceCommands, nullptr, 0, false, kLastDevice},
    OptionSpec{"serial", 0, ValueKind::Text, "TEXT", "the camera with this serial number",
               kCameraCommands},
    OptionSpec{"exposure", 0, ValueKind::Number, "SECONDS", "exposure time", kCameraCommands,
               nullptr, 0, true},
    OptionSpec{"gain", 0, ValueKind::Integer, "N", "analog gain, camera units", kCameraCommands},
    OptionSpec{"bits", 0, ValueKind::Choice, "8|16", "bits per pixel", kCameraCommands, "8|16"},
    OptionSpec{"seconds", 0, ValueKind::Number, "SECONDS", "how long (fractions allowed)",
               kTimedCommands, nullptr, 0, true},
    // Only the window has an end of its own, so only view takes 0.
    OptionSpec{"seconds", 0, ValueKind::Number, "SECONDS",
               "how long (fractions allowed; 0: until the window is closed)", kView, nullptr, 0},
    OptionSpec{"output", 'o', ValueKind::Text, "FILE", "the file to write", kOutputCommands},
    OptionSpec{"type", 0, ValueKind::Choice, "TYPE", "image file type", kSnapshot,
               "bmp|raw|jpeg|jpeg70|jpeg20|png|tiff"},
    OptionSpec{"format", 0, ValueKind::Choice, "FORMAT", "recording format (default avi)", kRecord,
               "avi|tiff|raw"},
    OptionSpec{"force", 0, ValueKind::None, "",
               "write even when the file's extension names another type", kForceCommands},
    OptionSpec{"json", 0, ValueKind::None, "", "print JSON instead of text", kJsonCommands},
    OptionSpec{"target", 0, ValueKind::Number, "CELSIUS",
               "settle no warmer than this (the cooler has no set point of its own)", kCool,
               nullptr, -std::numeric_limits<double>::infinity()},
    OptionSpec{"settle", 0, ValueKind::Number, "SECONDS",
               "how long the temperature must hold still (default 30)", kCool, nullptr, 0, true},
    OptionSpec{"timeout", 0, ValueKind::Number, "SECONDS", "give up after this long (default 600)",
               kCool, nullptr, 0, true},
    OptionSpec{"frames", 0, ValueKind::Integer, "N", "frames averaged (default 16)",
               kFramesCommands, nullptr, 1},
    OptionSpec{"filter", 0, ValueKind::Text, "GLOB",
               "scenarios by name (* and ?; several patterns with commas)", kCompliance},
    OptionSpec{"list", 0, ValueKind::None, "", "name the scenarios, run none", kCompliance},
    OptionSpec{"junit", 0, ValueKind::Text, "FILE", "write a JUnit XML report", kCompliance},
    OptionSpec{"repeat", 0, ValueKind::Integer, "N", "run the long scenarios N times over",
               kCompliance, nullptr, 1, false, kMaxRepeat},
    OptionSpec{"scale", 0, ValueKind::Integer, "PERCENT", "run a share of their counts",
               kCompliance, nullptr, 1, false, kWholePercent},
    OptionSpec{"stream-exposure", 0, ValueKind::Number, "SECONDS",
               "exposure the streaming scenarios hold the camera at (default 0.04; longer for a "
               "link slower than the camera)",
               kCompliance, nullptr, 0, true},
};

constexpr size_t kHelpColumn = 26;
constexpr size_t kTextWidth = 96;
constexpr std::string_view kProgram = "nivexa";

bool takes(const OptionSpec& option, Command command) {
  return std::find(option.commands.begin(), option.commands.end(), command) !=
         option.commands.end();
}

// The declaration of `name` the command takes, else any of that name (to say the command does
// not take it); null for a name never declared.
const OptionSpec* findOption(std::string_view name, Command command) {
  const OptionSpec* any = nullptr;
  for (const auto& option : kOptions) {
    if (name == option.name) {
      if (takes(option, command)) {
        return &option;
      }
      any = any ? any : &option;
    }
  }
  return any;
}

const OptionSpec* findShort(char name) {
  for (const auto& option : kOptions) {
    if (option.shortName != 0 && option.shortName == name) {
      return &option;
    }
  }
  return nullptr;
}

bool isChoice(const char* choices, std::string_view value) {
  std::string_view rest = choices;
  while (!rest.empty()) {
    const size_t bar = rest.find('|');
    if (rest.substr(0, bar) == value) {
      return true;
    }
    rest = bar == std::string_view::npos ? std::string_view{} : rest.substr(bar + 1);
  }
  return false;
}

std::string hint(const char* command) {
  return std::string(" (see '") + std::string(kProgram) +
         (command ? std::string(" ") + command : "") + " --help')";
}

// Why `value` is not a value of `option`; empty when it is.
std::string checkValue(const OptionSpec& option, const std::string& value) {
  const std::string name = std::string("--") + option.name;
  switch (option.kind) {
    case ValueKind::None:
    case ValueKind::Text:
      return value.empty() ? name + " needs a value that is not empty" : "";
    case ValueKind::Choice:
      return isChoice(option.choices, value)
                 ? ""
                 : name + " takes " + option.choices + ", not '" + value + "'";
    case ValueKind::Integer: {
      int64_t number = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
      if (error != std::errc{} || end != value.data() + value.size()) {
        return name + " takes a whole number, not '" + value + "'";
      }
      if (number < option.minimum || number > option.maximum) {
        return name + " takes a number of at least " + std::to_string(int64_t(option.minimum)) +
               (std::isfinite(option.maximum)
                    ? " and at most " + std::to_string(int64_t(option.maximum))
                    : std::string()) +
               ", not " + value;
      }
      return "";
    }
    case ValueKind::Number: {
      char* end = nullptr;
      const double number = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !std::isfinite(number)) {
        return name + " takes a number, not '" + value + "'";
      }
      if (option.minimumExclusive ? number <= option.minimum : number < option.minimum) {
        return name + " must be " + (option.minimumExclusive ? "above " : "at least ") +
               std::to_string(int64_t(option.minimum)) + ", not " + value;
      }
      return "";
    }
  }
  return "";
}

// `text` in lines of at most kTextWidth columns, the first starting at `column` and the others
// indented to `indent`.
std::string wrap(std::string_view text, size_t column, size_t indent) {
  std::string out;
  size_t at = column;
  while (!text.empty()) {
    const size_t space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
    if (at > indent && at + 1 + word.size() > kTextWidth) {
      out += "\n" + std::string(indent, ' ');
      at = indent;
    } else if (at > indent) {
      out += ' ';
      ++at;
    }
    out += word;
    at += word.size();
  }
  return out;
}

}  // namespace

std::span<const CommandSpec> commands() {
  return kCommands;
}
std::span<const OptionSpec> options() {
  return kOptions;
}

const CommandSpec* findCommand(const std::string& name) {
  for (const auto& command : kCommands) {
    if (name == command.name) {
      return &command;
    }
  }
  return nullptr;
}

std::string Arguments::text(const char* name, const std::string& fallback) const {
  const auto found = values_.find(name);
  return found == values_.end() ? fallback : found->second;
}

double Arguments::number(const char* name, double fallback) const {
  const auto found = values_.find(name);
  return found == values_.end() ? fallback : std::strtod(found->second.c_str(), nullptr);
}

int64_t Arguments::integer(const char* name, int64_t fallback) const {
  const auto found = values_.find(name);
  return found == values_.end() ? fallback : std::strtoll(found->second.c_str(), nullptr, 10);
}

std::optional<Arguments> parseArguments(std::span<char* const> argv, std::string& error) {
  Arguments result;
  if (argv.size() < 2) {
    error = std::string(kProgram) + ": no command given" + hint(nullptr);
    return std::nullopt;
  }
  const std::string first = argv[1];
  if (first == "--version") {
    result.command_ = Command::Version;
    return result;
  }
  if (first == "--help" || first == "-h") {
    result.command_ = Command::Help;
    return result;
  }
  const CommandSpec* command = findCommand(first);
  if (command == nullptr) {
    error = std::string(kProgram) + ": unknown command '" + first + "'" + hint(nullptr);
    return std::nullopt;
  }
  result.command_ = command->id;
  const std::string prefix = std::string(kProgram) + " " + command->name;
  for (size_t i = 2; i < argv.size(); ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      result.help_ = true;
      continue;
    }
    const OptionSpec* option = nullptr;
    std::optional<std::string> inlineValue;
    if (word.rfind("--", 0) == 0 && word.size() > 2) {
      std::string name = word.substr(2);
      if (const size_t equals = name.find('='); equals != std::string::npos) {
        inlineValue = name.substr(equals + 1);
        name.resize(equals);
      }
      option = findOption(name, command->id);
      if (option == nullptr) {
        error = prefix + ": unknown option --" + name + hint(command->name);
        return std::nullopt;
      }
    } else if (word.size() == 2 && word[0] == '-' &&
               std::isalpha(static_cast<unsigned char>(word[1]))) {
      option = findShort(word[1]);
      if (option == nullptr) {
        error = prefix + ": unknown option " + word + hint(command->name);
        return std::nullopt;
      }
    } else {
      result.positional_.push_back(word);
      continue;
    }
    const std::string shown = std::string("--") + option->name;
    if (!takes(*option, command->id)) {
      error = prefix + " does not take " + shown + hint(command->name);
      return std::nullopt;
    }
    std::string value;
    if (option->kind == ValueKind::None) {
      if (inlineValue) {
        error = prefix + ": " + shown + " takes no value" + hint(command->name);
        return std::nullopt;
      }
    } else if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < argv.size()) {
      value = argv[++i];
    } else {
      error = prefix + ": " + shown + " needs a value (" + option->valueName + ")" +
              hint(command->name);
      return std::nullopt;
    }
    if (option->kind != ValueKind::None) {
      if (const std::string problem = checkValue(*option, value); !problem.empty()) {
        error = prefix + ": " + problem + hint(command->name);
        return std::nullopt;
      }
    }
    result.values_[option->name] = value;
  }
  if (!result.help_ && (result.positional_.size() < command->minArguments ||
                        result.positional_.size() > command->maxArguments)) {
    error = prefix +
            (result.positional_.size() < command->minArguments
                 ? std::string(" needs ") + command->arguments
                 : ": unexpected argument '" + result.positional_.back() + "'") +
            hint(command->name);
    return std::nullopt;
  }
  return result;
}

std::string usageText() {
  std::string text = "usage: nivexa COMMAND [options]\n\ncommands:\n";
  for (const auto& command : kCommands) {
    std::string head = std::string("  ") + command.name;
    if (*command.arguments != '\0') {
      head += std::string(" ") + command.arguments;
    }
    head.resize(std::max(head.size() + 1, kHelpColumn), ' ');
    text += head + wrap(command.summary, head.size(), kHelpColumn) + "\n";
  }
  text +=
      "\n'nivexa COMMAND --help' lists the options of a command. Without an attached camera the "
      "tool\nuses one virtual camera and says so.\n";
  return text;
}

std::string commandHelp(const CommandSpec& command) {
  std::string text = std::string("usage: nivexa ") + command.name;
  if (*command.arguments != '\0') {
    text += std::string(" ") + command.arguments;
  }
  text += " [options]\n\n  " + wrap(command.summary, 2, 2) + "\n";
  text += command.details;
  bool any = false;
  for (const auto& option : kOptions) {
    if (!takes(option, command.id)) {
      continue;
    }
    if (!any) {
      text += "\noptions:\n";
      any = true;
    }
    std::string head = "  ";
    if (option.shortName != 0) {
      head += std::string("-") + option.shortName + ", ";
    }
    head += std::string("--") + option.name;
    if (option.kind != ValueKind::None) {
      head += std::string(" ") + option.valueName;
    }
    head.resize(std::max(head.size() + 1, kHelpColumn), ' ');
    std::string help = option.help;
    if (option.kind == ValueKind::Choice && std::string_view(option.valueName) != option.choices) {
      help += std::string(": ") + option.choices;
    }
    text += head + wrap(help, head.size(), kHelpColumn) + "\n";
  }
  return text;
}

}  // namespace nivexa::tool

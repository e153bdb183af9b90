// The tool's commands and options, declared once: the parser, the usage text and each command's
// help are all made from these tables.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nivexa::tool {

enum class Command : uint32_t {
  List,
  Info,
  Features,
  Get,
  Set,
  Stream,
  View,
  Record,
  Snapshot,
  Cool,
  Calibrate,
  Compliance,
  Version,
  Help,
};

enum class ValueKind { None, Integer, Number, Text, Choice };

struct CommandSpec {
  Command id;
  const char* name;
  const char* arguments;  // positional arguments as the usage shows them
  const char* summary;
  const char* details;  // more lines for the command's own help; may be empty
  uint32_t minArguments;
  uint32_t maxArguments;
};

struct OptionSpec {
  const char* name;  // without the leading dashes
  char shortName;    // 0: none
  ValueKind kind;
  const char* valueName;  // as the help shows the value
  const char* help;
  std::span<const Command> commands;
  const char* choices = nullptr;  // for ValueKind::Choice: the choices separated by '|'
  double minimum = 0;             // for numbers: the smallest value taken
  bool minimumExclusive = false;  // true: the value must lie above the minimum
  double maximum = std::numeric_limits<double>::infinity();
};

std::span<const CommandSpec> commands();
std::span<const OptionSpec> options();
const CommandSpec* findCommand(const std::string& name);

// A command line as the tables read it.
class Arguments {
 public:
  Command command() const { return command_; }
  const std::vector<std::string>& positional() const { return positional_; }
  bool has(const char* name) const { return values_.count(name) != 0; }
  std::string text(const char* name, const std::string& fallback = {}) const;
  double number(const char* name, double fallback) const;
  int64_t integer(const char* name, int64_t fallback) const;
  bool helpWanted() const { return help_; }

 private:
  friend std::optional<Arguments> parseArguments(std::span<char* const> argv, std::string& error);
  Command command_ = Command::Help;
  std::vector<std::string> positional_;
  std::map<std::string, std::string, std::less<>> values_;
  bool help_ = false;
};

// Reads argv (with the program name first). Empty with one line of error (reason and hint) when
// the command line is not one the tables accept.
std::optional<Arguments> parseArguments(std::span<char* const> argv, std::string& error);

std::string usageText();
std::string commandHelp(const CommandSpec& command);

}  // namespace nivexa::tool

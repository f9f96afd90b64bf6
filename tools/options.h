// The command lines of blockwalk's tools: each option declared once, with the names of its
// values and its help; --help and --version made from the declarations; every bad argument named
// with what was expected.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// The exit statuses of the tools.
enum exit_status : int {
  exit_ok = 0,
  exit_failed = 1,   // check_walk: a difference; the others: a file could not be made
  exit_trouble = 2,  // a bad command line, or (check_walk, make_vectors) input they refuse
};

struct option_declaration {
  std::string name;                 // "--explain"
  std::vector<std::string> values;  // the names of its values: {"FILE", "ROW", ...}; none: a switch
  std::string help;                 // may run over several lines
};

// Two arguments a command line may not give together, and why: each an option ("--picture"), an
// option with one value ("--json -"), or the operand ("OUTDIR").
struct option_exclusion {
  std::string first, second;
  std::string why;  // "both write standard output"
};

struct tool_declaration {
  std::string name;     // "check_walk"
  std::string operand;  // the one argument without a dash ("DIR"), or empty for none
  bool operand_required = false;
  std::string operand_help;
  std::string about;  // printed after the usage lines
  std::vector<option_declaration> options;
  std::string after;  // printed after the options
  std::vector<option_exclusion> exclusions = {};
};

// What a command line gave.
struct command_line {
  std::optional<std::string> operand;
  std::map<std::string, std::vector<std::string>> options;  // each given option's values

  bool given(const std::string& name) const { return options.count(name) != 0; }
  // Value k of a given option.
  const std::string& value(const std::string& name, size_t k = 0) const {
    return options.at(name).at(k);
  }
};

// Parses argv against `tool`. Prints --help or --version, or names a bad argument on standard
// error, and then returns the exit status to end with; returns nothing when the tool should run.
std::optional<int> parse_command_line(const tool_declaration& tool, int argc, char** argv,
                                      command_line* line);

// Value k of option `name` as a whole number in low ... high; where it is not one, `error` says
// so ("--explain: ROW must be 0 ... 15, got 16").
std::optional<long> number_value(const tool_declaration& tool, const command_line& line,
                                 const std::string& name, size_t k, long low, long high,
                                 std::string* error);

// Prints "TOOL: message" on standard error; returns `status`.
int trouble(const tool_declaration& tool, const std::string& message, int status = exit_trouble);

// The usage text --help prints.
std::string usage_text(const tool_declaration& tool);

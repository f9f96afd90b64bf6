#include "options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "version.h"

namespace {

constexpr size_t line_width = 79;

const option_declaration help_option{"--help", {}, "this text"};
const option_declaration version_option{
    "--version", {}, "the version, and the vector level in use"};

// "[--explain FILE ROW PIXEL CHANNEL]"
std::string synopsis(const option_declaration& o) {
  std::string s = "[" + o.name;
  for (const std::string& v : o.values) s += " " + v;
  return s + "]";
}

const option_declaration* find_option(const tool_declaration& tool, const std::string& name) {
  for (const option_declaration& o : tool.options) {
    if (o.name == name) return &o;
  }
  return nullptr;
}

int bad(const tool_declaration& tool, const std::string& message) {
  return trouble(tool, message + "; --help tells the usage");
}

}  // namespace

std::string usage_text(const tool_declaration& tool) {
  // The usage lines, wrapped under the tool's name.
  const std::string head = "usage: " + tool.name;
  std::vector<std::string> words;
  if (!tool.operand.empty()) {
    words.push_back(tool.operand_required ? tool.operand : "[" + tool.operand + "]");
  }
  for (const option_declaration& o : tool.options) words.push_back(synopsis(o));
  words.push_back("[--help]");
  words.push_back("[--version]");
  std::string text = head, line = head;
  for (const std::string& w : words) {
    if (line.size() + 1 + w.size() > line_width) {
      text += "\n" + std::string(head.size(), ' ');
      line = std::string(head.size(), ' ');
    }
    text += " " + w;
    line += " " + w;
  }
  text += "\n" + tool.about;

  // Each option, its help beside it and indented under it.
  const auto describe = [&](const std::string& name, const std::string& help) {
    const std::string indent(18, ' ');
    std::string out = "  " + name;
    out +=
        out.size() < indent.size() ? std::string(indent.size() - out.size(), ' ') : "\n" + indent;
    for (const char c : help) out += c == '\n' ? "\n" + indent : std::string(1, c);
    return out + "\n";
  };
  if (!tool.operand.empty()) text += describe(tool.operand, tool.operand_help);
  for (const option_declaration& o : tool.options) {
    std::string name = o.name;
    for (const std::string& v : o.values) name += " " + v;
    text += describe(name, o.help);
  }
  text += describe(help_option.name, help_option.help);
  text += describe(version_option.name, version_option.help);
  for (const option_exclusion& e : tool.exclusions) {
    text += e.first + " and " + e.second + " exclude each other: " + e.why + ".\n";
  }
  return text + tool.after;
}

namespace {

// Whether the command line gives `what`: an option, an option with that value, or the operand.
bool gives(const tool_declaration& tool, const command_line& line, const std::string& what) {
  if (what == tool.operand) return line.operand.has_value();
  const size_t space = what.find(' ');
  if (space == std::string::npos) return line.given(what);
  const std::string name = what.substr(0, space);
  return line.given(name) && line.value(name) == what.substr(space + 1);
}

}  // namespace

std::optional<int> parse_command_line(const tool_declaration& tool, int argc, char** argv,
                                      command_line* line) {
  *line = command_line{};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == help_option.name) {
      std::fputs(usage_text(tool).c_str(), stdout);
      return exit_ok;
    }
    if (arg == version_option.name) {
      std::printf("%s (blockwalk) %s, vector level %s\n", tool.name.c_str(), blockwalk_version(),
                  blockwalk_level());
      return exit_ok;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      const option_declaration* o = find_option(tool, arg);
      if (!o) return bad(tool, arg + ": no such option");
      if (line->given(arg)) return bad(tool, arg + ": given twice");
      std::vector<std::string>& values = line->options[arg];
      for (const std::string& name : o->values) {
        if (i + 1 >= argc || !argv[i + 1][0]) {
          return bad(tool, arg + ": " + name + " missing after it");
        }
        values.push_back(argv[++i]);
      }
      continue;
    }
    if (tool.operand.empty()) return bad(tool, "'" + arg + "': this tool takes no operand");
    if (line->operand) {
      return bad(tool,
                 "'" + arg + "': a second " + tool.operand + ", after '" + *line->operand + "'");
    }
    if (arg.empty()) return bad(tool, tool.operand + " is empty");
    line->operand = arg;
  }
  if (tool.operand_required && !line->operand) return bad(tool, "no " + tool.operand);
  for (const option_exclusion& e : tool.exclusions) {
    if (gives(tool, *line, e.first) && gives(tool, *line, e.second)) {
      return bad(tool, e.first + " and " + e.second + " exclude each other: " + e.why);
    }
  }
  return std::nullopt;
}

std::optional<long> number_value(const tool_declaration& tool, const command_line& line,
                                 const std::string& name, size_t k, long low, long high,
                                 std::string* error) {
  const std::string& text = line.value(name, k);
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (!text.empty() && *end == '\0' && errno == 0 && v >= low && v <= high) return v;
  const option_declaration* o = find_option(tool, name);
  *error = name + ": " + o->values.at(k) + " must be " + std::to_string(low) + " ... " +
           std::to_string(high) + ", got " + (text.empty() ? "nothing" : text);
  return std::nullopt;
}

int trouble(const tool_declaration& tool, const std::string& message, int status) {
  std::fprintf(stderr, "%s: %s\n", tool.name.c_str(), message.c_str());
  return status;
}

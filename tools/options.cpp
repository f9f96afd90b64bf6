#include "options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "version.h"

namespace {

constexpr size_t line_width = 79;

const option_spec help_option{"--help", {}, "this text"};
const option_spec version_option{"--version", {}, "the version, and the vector level in use"};

// "[--explain FILE ROW PIXEL CHANNEL]"
std::string synopsis(const option_spec& o) {
  std::string s = "[" + o.name;
  for (const std::string& v : o.values) s += " " + v;
  return s + "]";
}

const option_spec* find_option(const tool_spec& spec, const std::string& name) {
  for (const option_spec& o : spec.options) {
    if (o.name == name) return &o;
  }
  return nullptr;
}

int bad(const tool_spec& spec, const std::string& message) {
  return trouble(spec, message + "; --help tells the usage");
}

}  // namespace

std::string usage_text(const tool_spec& spec) {
  // The usage lines, wrapped under the tool's name.
  const std::string head = "usage: " + spec.name;
  std::vector<std::string> words;
  if (!spec.operand.empty()) {
    words.push_back(spec.operand_required ? spec.operand : "[" + spec.operand + "]");
  }
  for (const option_spec& o : spec.options) words.push_back(synopsis(o));
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
  text += "\n" + spec.about;

  // Each option, its help beside it and indented under it.
  const auto describe = [&](const std::string& name, const std::string& help) {
    const std::string indent(18, ' ');
    std::string out = "  " + name;
    out +=
        out.size() < indent.size() ? std::string(indent.size() - out.size(), ' ') : "\n" + indent;
    for (const char c : help) out += c == '\n' ? "\n" + indent : std::string(1, c);
    return out + "\n";
  };
  if (!spec.operand.empty()) text += describe(spec.operand, spec.operand_help);
  for (const option_spec& o : spec.options) {
    std::string name = o.name;
    for (const std::string& v : o.values) name += " " + v;
    text += describe(name, o.help);
  }
  text += describe(help_option.name, help_option.help);
  text += describe(version_option.name, version_option.help);
  return text + spec.after;
}

std::optional<int> parse_command_line(const tool_spec& spec, int argc, char** argv,
                                      command_line* line) {
  *line = command_line{};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == help_option.name) {
      std::fputs(usage_text(spec).c_str(), stdout);
      return exit_ok;
    }
    if (arg == version_option.name) {
      std::printf("%s (blockwalk) %s, vector level %s\n", spec.name.c_str(), blockwalk_version(),
                  blockwalk_level());
      return exit_ok;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      const option_spec* o = find_option(spec, arg);
      if (!o) return bad(spec, arg + ": no such option");
      if (line->given(arg)) return bad(spec, arg + ": given twice");
      std::vector<std::string>& values = line->options[arg];
      for (const std::string& name : o->values) {
        if (i + 1 >= argc || !argv[i + 1][0]) {
          return bad(spec, arg + ": " + name + " missing after it");
        }
        values.push_back(argv[++i]);
      }
      continue;
    }
    if (spec.operand.empty()) return bad(spec, "'" + arg + "': this tool takes no operand");
    if (line->operand) {
      return bad(spec,
                 "'" + arg + "': a second " + spec.operand + ", after '" + *line->operand + "'");
    }
    if (arg.empty()) return bad(spec, spec.operand + " is empty");
    line->operand = arg;
  }
  if (spec.operand_required && !line->operand) return bad(spec, "no " + spec.operand);
  return std::nullopt;
}

std::optional<long> number_value(const tool_spec& spec, const command_line& line,
                                 const std::string& name, size_t k, long low, long high,
                                 std::string* error) {
  const std::string& text = line.value(name, k);
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (!text.empty() && *end == '\0' && errno == 0 && v >= low && v <= high) return v;
  const option_spec* o = find_option(spec, name);
  *error = name + ": " + o->values.at(k) + " must be " + std::to_string(low) + " ... " +
           std::to_string(high) + ", got " + (text.empty() ? "nothing" : text);
  return std::nullopt;
}

int trouble(const tool_spec& spec, const std::string& message, int status) {
  std::fprintf(stderr, "%s: %s\n", spec.name.c_str(), message.c_str());
  return status;
}

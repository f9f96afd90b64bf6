#include "json.h"

#include <cstdio>

namespace {

void write_string(const std::string& s, std::string* out) {
  *out += '"';
  for (const unsigned char c : s) {
    if (c == '"' || c == '\\') {
      *out += '\\';
      *out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      *out += escape;
    } else {
      *out += static_cast<char>(c);
    }
  }
  *out += '"';
}

constexpr size_t line_width = 100;

void write(const json_value& v, int depth, bool inline_only, std::string* out);

void write_member(const json_value& v, int depth, bool inline_only, std::string* out) {
  write(v, depth, inline_only, out);
}
void write_member(const std::pair<std::string, json_value>& member, int depth, bool inline_only,
                  std::string* out) {
  write_string(member.first, out);
  *out += ": ";
  write(member.second, depth, inline_only, out);
}

// The column the next character of `out` goes to.
size_t column(const std::string& out) {
  const size_t newline = out.rfind('\n');
  return newline == std::string::npos ? out.size() : out.size() - newline - 1;
}

// An array or an object: on one line where it fits; otherwise its members fill lines, those
// after the first indented below it, each member on one line where it fits there.
template <typename Members>
void write_members(const Members& members, char open, char close, int depth, bool inline_only,
                   std::string* out) {
  std::vector<std::string> texts(members.size());
  size_t width = 2;
  for (size_t k = 0; k < members.size(); ++k) {
    write_member(members[k], depth + 1, true, &texts[k]);
    width += texts[k].size() + 2;
  }
  const bool fits = column(*out) + width <= line_width;
  const std::string indent = "\n" + std::string(2 * (depth + 1), ' ');
  *out += open;
  for (size_t k = 0; k < members.size(); ++k) {
    if (k) *out += ",";
    const size_t room = texts[k].size() + 2;  // with a space before it and a comma after
    if (inline_only || fits || column(*out) + room <= line_width) {
      *out += (k ? " " : "") + texts[k];
      continue;
    }
    // The first member stays beside the bracket; a later one that fits a line of its own gets one.
    if (k) *out += indent;
    if (k && column(*out) + room <= line_width) {
      *out += texts[k];
    } else {
      write_member(members[k], depth + 1, false, out);
    }
  }
  *out += close;
}

void write(const json_value& v, int depth, bool inline_only, std::string* out) {
  if (std::holds_alternative<std::nullptr_t>(v.value)) {
    *out += "null";
  } else if (const bool* b = std::get_if<bool>(&v.value)) {
    *out += *b ? "true" : "false";
  } else if (const int64_t* n = std::get_if<int64_t>(&v.value)) {
    *out += std::to_string(*n);
  } else if (const std::string* s = std::get_if<std::string>(&v.value)) {
    write_string(*s, out);
  } else if (const json_array* a = std::get_if<json_array>(&v.value)) {
    write_members(*a, '[', ']', depth, inline_only, out);
  } else {
    write_members(std::get<json_object>(v.value), '{', '}', depth, inline_only, out);
  }
}

}  // namespace

std::string json_text(const json_value& v) {
  std::string out;
  write(v, 0, false, &out);
  return out + "\n";
}

// A small JSON writer: a value built as a tree, then written as text with its strings escaped.
// The reports and the coverage are built this way; the Python module turns the same tree into
// its own objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

struct json_value;
using json_array = std::vector<json_value>;
using json_object = std::vector<std::pair<std::string, json_value>>;  // members in order

struct json_value {
  std::variant<std::nullptr_t, bool, int64_t, std::string, json_array, json_object> value;

  json_value(std::nullptr_t = nullptr) : value(nullptr) {}
  json_value(bool b) : value(b) {}
  json_value(int n) : value(int64_t{n}) {}
  json_value(int64_t n) : value(n) {}
  json_value(size_t n) : value(static_cast<int64_t>(n)) {}
  json_value(const char* s) : value(std::string(s)) {}
  json_value(std::string s) : value(std::move(s)) {}
  json_value(json_array a) : value(std::move(a)) {}
  json_value(json_object o) : value(std::move(o)) {}
};

// The text of `v`: each array or object on one line where it fits in 100 columns, otherwise a
// member a line, indented by nesting; a newline at the end.
std::string json_text(const json_value& v);

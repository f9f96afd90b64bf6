// Command-line helpers shared by the tools.
#pragma once

#include <cstdlib>

// Parses all of `text` as a decimal number in low ... high.
inline bool parse_number(const char* text, long low, long high, long* value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

// The same into an int.
inline bool parse_int(const char* text, long low, long high, int* value) {
  long v = 0;
  if (!parse_number(text, low, high, &v)) return false;
  *value = static_cast<int>(v);
  return true;
}

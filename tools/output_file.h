// Output files of the tools, written whole or not at all.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Writes `bytes` to `path` through a temporary beside it, so a failure leaves no partial file;
// false, with errno set, on failure.
inline bool write_whole(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string part = path + ".part";
  std::FILE* out = std::fopen(part.c_str(), "wb");
  if (!out) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  ok = std::fclose(out) == 0 && ok;
  ok = ok && std::rename(part.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(part.c_str());
  return ok;
}

// Files the tools read whole, and write whole or not at all.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Appends the bytes of the file at `path` to `bytes`; false if it cannot be read.
inline bool read_whole(const std::string& path, std::vector<uint8_t>* bytes) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return false;
  uint8_t chunk[1 << 16];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) {
    bytes->insert(bytes->end(), chunk, chunk + n);
  }
  const bool ok = !std::ferror(in);
  std::fclose(in);
  return ok;
}

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

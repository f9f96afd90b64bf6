// Files the tools read whole, and write whole or not at all; the directories they write into.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bitmap.h"

// Reads at most `limit` bytes from `fd` into `bytes`; false, with why in `reason`, on an error.
inline bool read_up_to(int fd, size_t limit, std::vector<uint8_t>* bytes, std::string* reason) {
  bytes->clear();
  while (bytes->size() < limit) {
    uint8_t chunk[1 << 16];
    const ssize_t n = read(fd, chunk, std::min(sizeof chunk, limit - bytes->size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *reason = std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    bytes->insert(bytes->end(), chunk, chunk + n);
  }
  return true;
}

// Reads the regular file at `path` whole into `bytes`; false, with why in `reason`, if it is
// missing, not a regular file (never waited on) or cannot be read.
inline bool read_whole(const std::string& path, std::vector<uint8_t>* bytes, std::string* reason) {
  const regular_file file = open_regular_file(path.c_str());
  if (file.fd < 0) {
    *reason = file.missing ? "missing" : file.problem;
    return false;
  }
  const bool read = read_up_to(file.fd, SIZE_MAX, bytes, reason);
  close(file.fd);
  return read;
}

// Writes `bytes` to `path` through a temporary beside it, so a failure leaves no partial file;
// false, with errno set, on failure.
inline bool write_whole(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string part = path + ".part";
  // A fresh file of our own: whatever lay under the temporary's name (a named pipe that would
  // hold the write up) is replaced, not written into.
  std::remove(part.c_str());
  const int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  std::FILE* out = fd < 0 ? nullptr : fdopen(fd, "wb");
  if (!out) {
    if (fd >= 0) close(fd);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  ok = std::fclose(out) == 0 && ok;
  ok = ok && std::rename(part.c_str(), path.c_str()) == 0;
  if (!ok) {
    const int error = errno;
    std::remove(part.c_str());
    errno = error;
  }
  return ok;
}

// Whether `path` is a directory, made now if it was not there.
inline bool make_directory(const std::string& path) {
  struct stat st {};
  return mkdir(path.c_str(), 0777) == 0 ||
         (errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

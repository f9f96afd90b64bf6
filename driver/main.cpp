// blockwalk: loads "picture.bmp", walks a diagonal track of quarter-pixel positions and writes
// the 16 x 16 block at each to a bitmap file of its own. It takes no arguments.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "bitmap.h"
#include "interpolate.h"
#include "walk.h"

namespace {

// What blockwalk prints for a picture it refuses: a short pixel array says so first.
int fail(bitmap_status status) {
  if (status == bitmap_status::short_pixels) std::printf("error reading the bits!\n");
  std::printf("error %d!\n", static_cast<int>(status_code(status)));
  return 1;
}

// Opens a block file for writing, created or truncated; null if it cannot be opened. Whatever
// is not a regular file (a named pipe would hold the walk up, a device is not ours to write)
// cannot be written, and is removed as a file cut short would be.
std::FILE* open_block_file(const char* name) {
  const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat st {};
  std::FILE* file = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd, "wb") : nullptr;
  if (!file) {
    close(fd);
    std::remove(name);
  }
  return file;
}

// Writes one block file whole (header and info block, pixels, and any profile), or removes what
// it began.
bool write_block_file(const char* name, const std::vector<uint8_t>& prefix, const uint8_t* block,
                      const std::vector<uint8_t>& profile) {
  std::FILE* file = open_block_file(name);
  if (!file) return false;
  bool ok =
      std::fwrite(prefix.data(), 1, prefix.size(), file) == prefix.size() &&
      std::fwrite(block, 1, block_bytes, file) == block_bytes &&
      (profile.empty() || std::fwrite(profile.data(), 1, profile.size(), file) == profile.size());
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::remove(name);
  return ok;
}

}  // namespace

// Runs the walk in the current directory; returns the exit status and prints every failure.
int run_walk() {
  bitmap_picture picture;
  const bitmap_status status = read_bitmap_file(walk_picture, &picture);
  if (status != bitmap_status::ok) return fail(status);
  if (!suits_walk(picture.width, picture.height, picture.bits_per_pixel, picture.info)) {
    std::printf("error %d!\n", static_cast<int>(unusable_picture));
    return 1;
  }

  std::vector<uint8_t> prefix;
  const auto header = make_block_header(picture.info);
  prefix.assign(header.begin(), header.end());
  prefix.insert(prefix.end(), picture.info.begin(), picture.info.end());

  bool all_written = true;
  uint8_t block[block_bytes];
  for (int n = walk_first; n <= walk_last; ++n) {
    const std::string name = block_file_name(n);
    interpolate_block(picture.width, block, picture.plane.data(), picture.height, n / 4, n / 4,
                      n % 4, n % 4);
    if (!write_block_file(name.c_str(), prefix, block, picture.profile)) {
      std::printf("error writing %s!\n", name.c_str());
      all_written = false;
    }
  }
  return all_written ? 0 : 1;
}

int main() {
  try {
    return run_walk();
  } catch (const std::bad_alloc&) {
    std::printf("error allocating memory!\n");
    return 1;
  }
}

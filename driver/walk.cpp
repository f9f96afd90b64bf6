#include "walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "bitmap.h"
#include "interpolate.h"

namespace {

// The last column and row the walk reads: the 4-tap footprint of its last fractional block.
constexpr int32_t walk_reach = walk_last / 4 + block_margin + block_size + 1;

int fail(int32_t status) {
  std::printf("error %d!\n", static_cast<int>(status));
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

std::string block_file_name(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "block%.4d.bmp", n);
  return name;
}

bool suits_walk(int32_t width, int32_t height, int32_t bits_per_pixel,
                const std::vector<uint8_t>& info) {
  return bits_per_pixel == 24 && info.size() >= min_info_size &&
         load_le32(info.data() + info_compression_at) == 0 && width > walk_reach &&
         height > walk_reach;
}

int run_walk() {
  int32_t width = 0, height = 0, bits_per_pixel = 0;
  std::vector<uint8_t> info, profile;
  int32_t status = read_bitmap(&height, &bits_per_pixel, &width, nullptr, 0, &info, &profile);
  if (status < 0) return fail(status);
  if (!suits_walk(width, height, bits_per_pixel, info)) return fail(unusable_picture);

  // The first reading proved the file holds this many pixel bytes. The second fills them all
  // or fails, so they are not cleared first.
  const size_t plane_bytes = plane_size(width, height, bits_per_pixel);
  const std::unique_ptr<uint8_t[]> plane(new uint8_t[plane_bytes]);
  int32_t again_width = 0, again_height = 0, again_bits = 0;
  status = read_bitmap(&again_height, &again_bits, &again_width, plane.get(), plane_bytes, nullptr);
  // The file may have changed in between; a plane of other dimensions would be misread.
  if (status == 0 && (again_width != width || again_height != height)) status = bitmap_malformed;
  if (status < 0) return fail(status);

  const auto header = make_block_header(info);
  std::vector<uint8_t> prefix(header.begin(), header.end());
  prefix.insert(prefix.end(), info.begin(), info.end());

  bool all_written = true;
  uint8_t block[block_bytes];
  for (int n = walk_first; n <= walk_last; ++n) {
    const std::string name = block_file_name(n);
    interpolate_block(width, block, plane.get(), height, n / 4, n / 4, n % 4, n % 4);
    if (!write_block_file(name.c_str(), prefix, block, profile)) {
      std::printf("error writing %s!\n", name.c_str());
      all_written = false;
    }
  }
  return all_written ? 0 : 1;
}

std::string bitmap_problem(int status, const std::string& problem) {
  return status == bitmap_cannot_open ? "cannot be opened" + (problem.empty() ? "" : ": " + problem)
         : status == bitmap_malformed ? "not a bitmap, or malformed"
                                      : "a bitmap the walk cannot use: not 24 bits per pixel, "
                                        "compressed, or smaller than 533 x 533";
}

std::string bitmap_refusal(int status, const std::string& problem) {
  return "error " + std::to_string(status) + "! (" + bitmap_problem(status, problem) + ")";
}

#include "walk.h"

#include <cstdio>

#include "bitmap.h"
#include "interpolate.h"

namespace {

// The last column and row the walk reads: the 4-tap footprint of its last fractional block.
constexpr int32_t walk_reach = walk_last / 4 + block_margin + block_size + 1;

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

std::string unusable_refusal() {
  return "error " + std::to_string(unusable_picture) +
         "! (a bitmap the walk cannot use: not 24 bits per pixel, compressed, or smaller than 533 "
         "x "
         "533)";
}

#include <algorithm>
#include <cassert>
#include <cstring>

#include "bitmap.h"

namespace {

constexpr int32_t block_side = 16;
constexpr uint32_t block_pixel_bytes = block_side * block_side * 3;

// `after_pixels`: bytes that follow the pixel array (a profile).
void write_file_header(uint8_t* header, uint32_t info_size, uint32_t pixel_bytes,
                       uint32_t after_pixels) {
  header[0] = 'B';
  header[1] = 'M';
  store_le32(header + 2,
             static_cast<uint32_t>(file_header_size) + info_size + pixel_bytes + after_pixels);
  store_le32(header + 10, static_cast<uint32_t>(file_header_size) + info_size);
}

}  // namespace

std::array<uint8_t, file_header_size> make_block_header(std::vector<uint8_t>& info_block) {
  assert(info_block.size() >= min_info_size);
  std::array<uint8_t, file_header_size> header{};
  const auto info_size = static_cast<uint32_t>(info_block.size());
  uint8_t* info = info_block.data();
  profile_place profile;
  const bool profile_follows = find_profile(info_block, &profile) && profile.beyond(info_size);
  write_file_header(header.data(), info_size, block_pixel_bytes,
                    profile_follows ? static_cast<uint32_t>(profile.size) : 0);
  if (profile_follows) store_le32(info + info_profile_data_at, info_size + block_pixel_bytes);
  const bool top_down = static_cast<int32_t>(load_le32(info + info_height_at)) < 0;
  store_le32(info + info_width_at, block_side);
  store_le32(info + info_height_at, static_cast<uint32_t>(top_down ? -block_side : block_side));
  store_le32(info + info_size_image_at, block_pixel_bytes);
  return header;
}

std::vector<uint8_t> encode_bitmap(int32_t width, int32_t height, const uint8_t* rows,
                                   const bitmap_layout& layout) {
  const size_t row_bytes = static_cast<size_t>(width) * 3;
  const size_t row_stride = (row_bytes + 3) / 4 * 4;
  const size_t pixel_bytes = row_stride * static_cast<size_t>(height);
  const colour_profile& profile = layout.profile;
  const size_t profile_bytes = profile.type ? profile.data.size() : 0;
  const size_t before_pixels = layout.profile_first ? profile_bytes : 0;
  const size_t info_bytes = layout.info_size + layout.table_size + before_pixels;

  std::vector<uint8_t> file(file_header_size + info_bytes + pixel_bytes);
  write_file_header(file.data(), static_cast<uint32_t>(info_bytes),
                    static_cast<uint32_t>(pixel_bytes),
                    static_cast<uint32_t>(profile_bytes - before_pixels));
  uint8_t* info = file.data() + file_header_size;
  store_le32(info, static_cast<uint32_t>(layout.info_size));
  store_le32(info + info_width_at, static_cast<uint32_t>(width));
  store_le32(info + info_height_at, static_cast<uint32_t>(layout.top_down ? -height : height));
  store_le16(info + 12, 1);  // planes
  store_le16(info + info_bit_count_at, 24);
  store_le32(info + info_size_image_at, static_cast<uint32_t>(pixel_bytes));
  store_le32(info + 24, 2835);  // 72 dpi, in pixels per metre
  store_le32(info + 28, 2835);
  if (layout.info_size >= 124) {
    // Extended info block: channel masks and the sRGB colour space tag, as common writers fill
    // them. They carry no meaning for 24-bit pixels but must travel into block files unchanged.
    store_le32(info + 40, 0x00FF0000);
    store_le32(info + 44, 0x0000FF00);
    store_le32(info + 48, 0x000000FF);
    store_le32(info + 52, 0xFF000000);
    store_le32(info + info_cs_type_at, 0x73524742);  // "sRGB"
  }
  for (size_t i = 0; i < layout.table_size; ++i) info[layout.info_size + i] = uint8_t(i * 37 + 1);
  if (profile.type) {
    assert(layout.info_size >= info_v5_size);
    const size_t at =
        layout.profile_first ? layout.info_size + layout.table_size : info_bytes + pixel_bytes;
    store_le32(info + info_cs_type_at, profile.type);
    store_le32(info + info_intent_at, profile.intent);
    store_le32(info + info_profile_data_at, static_cast<uint32_t>(at));
    store_le32(info + info_profile_size_at, static_cast<uint32_t>(profile.data.size()));
    if (layout.profile_first) std::copy(profile.data.begin(), profile.data.end(), info + at);
  }

  uint8_t* pixels = info + info_bytes;
  for (size_t r = 0; r < static_cast<size_t>(height); ++r) {
    std::memcpy(pixels + r * row_stride, rows + r * row_bytes, row_bytes);
  }
  if (profile.type && !layout.profile_first)
    file.insert(file.end(), profile.data.begin(), profile.data.end());
  return file;
}

#include <cassert>
#include <cstring>

#include "bitmap.h"

namespace {

constexpr int32_t block_side = 16;
constexpr uint32_t block_pixel_bytes = block_side * block_side * 3;

void write_file_header(uint8_t* header, uint32_t info_size, uint32_t pixel_bytes) {
  header[0] = 'B';
  header[1] = 'M';
  store_le32(header + 2, static_cast<uint32_t>(file_header_size) + info_size + pixel_bytes);
  store_le32(header + 10, static_cast<uint32_t>(file_header_size) + info_size);
}

}  // namespace

std::array<uint8_t, file_header_size> make_block_header(std::vector<uint8_t>& info_block) {
  assert(info_block.size() >= min_info_size);
  std::array<uint8_t, file_header_size> header{};
  write_file_header(header.data(), static_cast<uint32_t>(info_block.size()), block_pixel_bytes);
  uint8_t* info = info_block.data();
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
  const size_t info_bytes = layout.info_size + layout.table_size;

  std::vector<uint8_t> file(file_header_size + info_bytes + pixel_bytes);
  write_file_header(file.data(), static_cast<uint32_t>(info_bytes),
                    static_cast<uint32_t>(pixel_bytes));
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
    store_le32(info + 56, 0x73524742);  // "sRGB"
  }
  for (size_t i = 0; i < layout.table_size; ++i) info[layout.info_size + i] = uint8_t(i * 37 + 1);

  uint8_t* pixels = info + info_bytes;
  for (size_t r = 0; r < static_cast<size_t>(height); ++r) {
    std::memcpy(pixels + r * row_stride, rows + r * row_bytes, row_bytes);
  }
  return file;
}

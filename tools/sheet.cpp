#include "sheet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bitmap.h"
#include "interpolate.h"
#include "walk.h"
#include "whole_file.h"

namespace {

constexpr int blocks = walk_last - walk_first + 1;
constexpr uint8_t gutter_grey = 0x50;
constexpr uint8_t background = 0x20;
constexpr int32_t region_gap = 8;  // pixels between the grid and the region

// A bitmap read whole: its plane in display order, and its colour profile.
struct decoded {
  int32_t width = 0, height = 0;
  bool bottom_up = false;  // as the file stored it
  std::vector<uint8_t> rows;
  colour_profile profile;
};

// The profile an info block refers to, from within the info block or from `beyond` it.
colour_profile profile_of(const std::vector<uint8_t>& info, std::vector<uint8_t>&& beyond) {
  colour_profile profile;
  profile_place place;
  if (!find_profile(info, &place)) return profile;
  profile.type = load_le32(info.data() + info_cs_type_at);
  profile.intent = load_le32(info.data() + info_intent_at);
  if (place.beyond(info.size())) {
    profile.data = std::move(beyond);
  } else {
    profile.data.assign(info.begin() + static_cast<ptrdiff_t>(place.offset),
                        info.begin() + static_cast<ptrdiff_t>(place.offset + place.size));
  }
  return profile;
}

bool decode(const std::string& path, decoded* out, std::string* error) {
  bitmap_picture picture;
  std::string problem;
  const bitmap_status status = read_bitmap_file(path.c_str(), &picture, &problem);
  if (status != bitmap_status::ok) {
    *error = path + ": " + bitmap_problem(status, problem);
    return false;
  }
  if (picture.bits_per_pixel != 24 || load_le32(picture.info.data() + info_compression_at) != 0) {
    *error = path + ": not an uncompressed 24-bit bitmap";
    return false;
  }
  const int32_t width = picture.width, height = picture.height;
  out->rows = std::move(picture.plane);
  const std::vector<uint8_t>& info = picture.info;
  // Bottom-up files store the lowest row first.
  out->bottom_up = static_cast<int32_t>(load_le32(info.data() + info_height_at)) > 0;
  if (out->bottom_up) {
    const size_t row = static_cast<size_t>(width) * 3;
    for (size_t top = 0; top < static_cast<size_t>(height) / 2; ++top) {
      uint8_t* upper = &out->rows[top * row];
      std::swap_ranges(upper, upper + row, &out->rows[(height - 1 - top) * row]);
    }
  }
  out->width = width;
  out->height = height;
  out->profile = profile_of(info, std::move(picture.profile));
  return true;
}

// Copies the w x h pixels at (sx, sy) of `from`, each magnified to scale x scale, to (x, y).
void paste(const decoded& from, int32_t sx, int32_t sy, int32_t w, int32_t h, int scale,
           sheet_picture* to, int32_t x, int32_t y) {
  for (int32_t r = 0; r < h * scale; ++r) {
    for (int32_t c = 0; c < w * scale; ++c) {
      const uint8_t* p =
          &from.rows[3 * ((static_cast<size_t>(sy) + r / scale) * from.width + (sx + c / scale))];
      uint8_t* q = &to->rows[3 * ((static_cast<size_t>(y) + r) * to->width + (x + c))];
      q[0] = p[0];
      q[1] = p[1];
      q[2] = p[2];
    }
  }
}

int32_t cell_step(const sheet_options& options) {
  return block_size * options.scale + 1;
}

}  // namespace

void grid_size(const sheet_options& options, int cells, int32_t* width, int32_t* height) {
  *width = options.columns * cell_step(options) + 1;
  *height = (cells + options.columns - 1) / options.columns * cell_step(options) + 1;
}

void grid_cell(const sheet_options& options, int k, int32_t* x, int32_t* y) {
  *x = 1 + (k % options.columns) * cell_step(options);
  *y = 1 + (k / options.columns) * cell_step(options);
}

void start_sheet(int32_t width, int32_t height, sheet_picture* sheet) {
  sheet->width = width;
  sheet->height = height;
  sheet->rows.assign(static_cast<size_t>(width) * height * 3, background);
}

void draw_grid(const sheet_options& options, int cells, int32_t x0, int32_t y0,
               sheet_picture* sheet) {
  int32_t grid_width, grid_height;
  grid_size(options, cells, &grid_width, &grid_height);
  const int32_t step = cell_step(options);
  for (int32_t y = 0; y < grid_height; ++y) {
    for (int32_t x = 0; x < grid_width; ++x) {
      if (y % step == 0 || x % step == 0) {
        const size_t at = 3 * (static_cast<size_t>(y0 + y) * sheet->width + (x0 + x));
        for (int ch = 0; ch < 3; ++ch) sheet->rows[at + ch] = gutter_grey;
      }
    }
  }
}

void block_cell(const sheet_options& options, int n, int32_t* x, int32_t* y) {
  grid_cell(options, n - walk_first, x, y);
}

void region_place(const sheet_options& options, int32_t* x, int32_t* y, int32_t* first,
                  int32_t* last) {
  *x = options.columns * cell_step(options) + 1 + region_gap;
  *y = 1;
  *first = walk_first / 4 + block_margin;
  *last = walk_last / 4 + block_margin + block_size - 1;
}

bool make_contact_sheet(const sheet_options& options, sheet_picture* sheet, std::string* error) {
  int32_t region_x, region_y, first, last;
  region_place(options, &region_x, &region_y, &first, &last);
  const int32_t region_side = (last - first + 1) * options.scale;
  int32_t width, height;
  grid_size(options, blocks, &width, &height);
  if (!options.picture.empty()) {
    width = region_x + region_side + 1;
    height = std::max(height, region_y + region_side + 1);
  }
  start_sheet(width, height, sheet);
  draw_grid(options, blocks, 0, 0, sheet);

  if (!options.picture.empty()) {
    decoded picture;
    if (!decode(options.picture, &picture, error)) return false;
    if (picture.width <= last || picture.height <= last) {
      *error = options.picture + ": smaller than the region the walk covers";
      return false;
    }
    // The walk counts rows in the file's order: a bottom-up picture's region lies as far from
    // the bottom as the walk's first row from the first stored one.
    const int32_t top = picture.bottom_up ? picture.height - 1 - last : first;
    paste(picture, first, top, last - first + 1, last - first + 1, options.scale, sheet, region_x,
          region_y);
    sheet->profile = std::move(picture.profile);
  }
  decoded block;
  for (int n = walk_first; n <= walk_last; ++n) {
    const std::string path = options.dir + "/" + block_file_name(n);
    if (!decode(path, &block, error)) return false;
    if (block.width != block_size || block.height != block_size) {
      *error = path + ": not a 16 x 16 block";
      return false;
    }
    int32_t x, y;
    block_cell(options, n, &x, &y);
    paste(block, 0, 0, block_size, block_size, options.scale, sheet, x, y);
  }

  return true;
}

bool write_sheet(const std::string& path, const sheet_picture& sheet) {
  // Bitmaps store the bottom row first.
  std::vector<uint8_t> file_rows(sheet.rows.size());
  const size_t row = static_cast<size_t>(sheet.width) * 3;
  for (int32_t r = 0; r < sheet.height; ++r) {
    std::memcpy(&file_rows[r * row], &sheet.rows[(sheet.height - 1 - r) * row], row);
  }
  bitmap_layout layout;
  if (sheet.profile.type) {
    layout.info_size = info_v5_size;
    layout.profile = sheet.profile;
  }
  return write_whole(path, encode_bitmap(sheet.width, sheet.height, file_rows.data(), layout));
}

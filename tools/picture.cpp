#include "picture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

uint8_t to_byte(double v) {
  return static_cast<uint8_t>(std::lround(std::fmin(std::fmax(v, 0), 255)));
}

void paint_pattern(std::vector<uint8_t>& rows, int32_t width, int32_t height) {
  const double cx = width / 2.0, cy = height / 2.0;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = &rows[(static_cast<size_t>(y) * width + x) * 3];
      // Gradients in red and green; rings of rising frequency in blue.
      const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      double blue = 128 + 127 * std::cos(r2 / 900.0);
      double green = 255.0 * y / (height > 1 ? height - 1 : 1);
      double red = 255.0 * x / (width > 1 ? width - 1 : 1);
      // Sharp-edged squares along both diagonals: the walk runs along one of them, which one
      // depends on the row order of the file.
      const int along = std::min(std::abs(x - y), std::abs(x + y - (width - 1)));
      if (((x / 24) + (y / 24)) % 2 == 0 && along < 60) red = green = blue = 240;
      // Thin lines: a one-pixel grid every 50 pixels, and the diagonals themselves.
      if (x % 50 == 0 || y % 50 == 0) red = green = blue = 0;
      if (along == 0) red = green = blue = 255;
      p[0] = to_byte(blue);
      p[1] = to_byte(green);
      p[2] = to_byte(red);
    }
  }
}

}  // namespace

std::vector<uint8_t> make_picture_rows(const picture_options& options) {
  std::vector<uint8_t> rows(static_cast<size_t>(options.width) * options.height * 3);
  if (options.content == picture_content::random) {
    // The engine's output is fixed by the standard, unlike its distributions.
    std::mt19937 engine(options.seed);
    for (uint8_t& byte : rows) byte = static_cast<uint8_t>(engine() >> 24);
  } else if (options.content == picture_content::extremes) {
    // Runs of 0 255 255 0 along the rows, the same runs or their inverse down the columns,
    // each channel a column further on: every phase's sums reach both ends, in one pass and
    // in two, wherever a block lies.
    const auto middle = [](int32_t k) { return k % 4 == 1 || k % 4 == 2; };
    for (size_t i = 0; i < rows.size(); ++i) {
      const auto pixel = static_cast<int32_t>(i / 3), ch = static_cast<int32_t>(i % 3);
      const int32_t x = pixel % options.width, y = pixel / options.width;
      rows[i] = middle(x + ch) == middle(y) ? 255 : 0;
    }
  } else {
    paint_pattern(rows, options.width, options.height);
  }
  return rows;
}

std::vector<uint8_t> file_order(const std::vector<uint8_t>& rows, const picture_options& options) {
  if (options.layout.top_down) return rows;
  std::vector<uint8_t> flipped(rows.size());
  const size_t row_bytes = static_cast<size_t>(options.width) * 3;
  for (size_t r = 0; r < static_cast<size_t>(options.height); ++r) {
    std::memcpy(&flipped[r * row_bytes], &rows[(options.height - 1 - r) * row_bytes], row_bytes);
  }
  return flipped;
}

std::vector<uint8_t> make_picture_file(const picture_options& options) {
  const std::vector<uint8_t> plane = file_order(make_picture_rows(options), options);
  return encode_bitmap(options.width, options.height, plane.data(), options.layout);
}

bitmap_picture make_bitmap_picture(const picture_options& options) {
  const std::vector<uint8_t> file = make_picture_file(options);
  bitmap_picture picture;
  picture.width = options.width;
  picture.height = options.height;
  picture.bits_per_pixel = 24;
  picture.info.assign(file.begin() + 14, file.begin() + load_le32(&file[10]));
  picture.plane = file_order(make_picture_rows(options), options);
  const bitmap_layout& layout = options.layout;
  if (layout.profile.type && !layout.profile_first) picture.profile = layout.profile.data;
  return picture;
}

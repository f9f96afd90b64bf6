// Test pictures of our own making: a pattern that shows sub-pixel motion, or seeded noise.
#pragma once

#include <cstdint>
#include <vector>

#include "bitmap.h"

enum class picture_content {
  pattern,   // smooth gradients, sharp edges, thin lines and rings
  random,    // seeded random bytes
  extremes,  // 255 under the taps' positive middle, 0 under their negative ends, in both axes
};

struct picture_options {
  int32_t width = 600;
  int32_t height = 600;
  picture_content content = picture_content::pattern;
  uint32_t seed = 1;
  bitmap_layout layout;
};

// Rows of 3 * width bytes (blue, green, red), top row first as a viewer shows them.
std::vector<uint8_t> make_picture_rows(const picture_options& options);

// The same rows in the order a file of options.layout stores them: the reader's plane.
std::vector<uint8_t> file_order(const std::vector<uint8_t>& rows, const picture_options& options);

// A complete bitmap file of the picture.
std::vector<uint8_t> make_picture_file(const picture_options& options);

// The picture as the reader holds that file (its info block, plane and trailing profile), for
// walks and sets made in memory.
bitmap_picture make_bitmap_picture(const picture_options& options);

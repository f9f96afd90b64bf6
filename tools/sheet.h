// The contact sheet of a walk: every block file laid out in walk order, magnified, beside the
// region of the picture that the walk covered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bitmap.h"

struct sheet_options {
  std::string dir = ".";  // where the block files are
  std::string picture;    // the walked picture; empty: none shown
  int scale = 2;          // magnification of blocks and region
  int columns = 50;       // blocks per row of the grid
};

// A picture in display order: rows top first, 3 bytes (blue, green, red) per pixel; with the
// walked picture's colour profile, if it has one, so that its region shows in its own colours.
struct sheet_picture {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> rows;
  colour_profile profile;
};

// Composes the sheet; on failure returns false and says which file failed and why in `error`.
bool make_contact_sheet(const sheet_options& options, sheet_picture* sheet, std::string* error);

// Writes `sheet` to `path` as a 24-bit bitmap, whole or not at all; false (errno set) on failure.
bool write_sheet(const std::string& path, const sheet_picture& sheet);

// The grid of a sheet: `cells` cells, options.columns to a row, each a block magnified
// options.scale times in a one-pixel grey gutter. Its size:
void grid_size(const sheet_options& options, int cells, int32_t* width, int32_t* height);
// where cell k (0, 1, ...) lands, its top-left pixel, from the grid's:
void grid_cell(const sheet_options& options, int k, int32_t* x, int32_t* y);
// A sheet of width x height in the background colour,
void start_sheet(int32_t width, int32_t height, sheet_picture* sheet);
// and the empty grid drawn on it with its top-left at (x, y).
void draw_grid(const sheet_options& options, int cells, int32_t x, int32_t y, sheet_picture* sheet);

// Where block n (walk_first ... walk_last) lands: the top-left pixel of its magnified cell.
void block_cell(const sheet_options& options, int n, int32_t* x, int32_t* y);

// Where the picture's region lands, and which picture pixels it shows (first ... last in both
// axes, in the plane's coordinates).
void region_place(const sheet_options& options, int32_t* x, int32_t* y, int32_t* first,
                  int32_t* last);

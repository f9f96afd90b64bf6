#include "difference_sheet.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "font.h"
#include "interpolate.h"
#include "report.h"
#include "walk.h"

namespace {

// Colours are blue, green, red. A difference's colour says its sign and, from pale to deep, its
// size: by 1, 2 or 3, 4 to 15, 16 or more. Even the palest stands out on the grey blocks.
constexpr uint8_t more[4][3] = {{130, 130, 255}, {70, 70, 255}, {20, 20, 230}, {0, 0, 170}};
constexpr uint8_t less[4][3] = {{255, 170, 140}, {255, 130, 90}, {255, 90, 40}, {200, 40, 0}};
constexpr uint8_t cross[3] = {0x40, 0x40, 0xE0};
constexpr uint8_t crossed_background = 0x18;
constexpr uint8_t ink[3] = {0xD8, 0xD8, 0xD8};
constexpr int text_scale = 2;
constexpr int32_t margin = 8;
constexpr int32_t line_height = line_advance * text_scale;
constexpr int32_t swatch = 9 * text_scale;  // a legend's colour sample, as high as a letter

int size_class(int difference) {
  const int d = std::abs(difference);
  return d == 1 ? 0 : d <= 3 ? 1 : d <= 15 ? 2 : 3;
}

// A pixel dimmed to grey, so that colour means a difference alone: brighter in a block that
// differs somewhere, darker in one that is identical throughout.
uint8_t dimmed(const uint8_t* bgr, bool cell_differs) {
  const int luma = (29 * bgr[0] + 150 * bgr[1] + 77 * bgr[2]) >> 8;
  return static_cast<uint8_t>(cell_differs ? 40 + luma / 4 : 16 + luma / 8);
}

void pixel_colour(const uint8_t* want, const uint8_t* got, bool cell_differs, uint8_t* out) {
  int largest = 0;
  for (int ch = 0; ch < 3; ++ch) {
    const int d = got[ch] - want[ch];
    if (std::abs(d) > std::abs(largest)) largest = d;
  }
  if (largest) {
    std::copy_n(largest > 0 ? more[size_class(largest)] : less[size_class(largest)], 3, out);
  } else {
    std::fill_n(out, 3, dimmed(want, cell_differs));
  }
}

void fill(sheet_picture* sheet, int32_t x, int32_t y, int32_t w, int32_t h, const uint8_t* bgr) {
  for (int32_t r = y; r < y + h; ++r) {
    for (int32_t c = x; c < x + w; ++c) {
      std::copy_n(bgr, 3, &sheet->rows[3 * (static_cast<size_t>(r) * sheet->width + c)]);
    }
  }
}

// A missing or unreadable file's cell of side `side`: both diagonals, `thick` pixels wide.
void draw_cross(sheet_picture* sheet, int32_t x, int32_t y, int32_t side, int32_t thick) {
  for (int32_t dy = 0; dy < side; ++dy) {
    for (int32_t dx = 0; dx < side; ++dx) {
      const bool on = std::abs(dx - dy) < thick || std::abs(dx + dy - (side - 1)) < thick;
      uint8_t* p = &sheet->rows[3 * (static_cast<size_t>(y + dy) * sheet->width + (x + dx))];
      if (on) {
        std::copy_n(cross, 3, p);
      } else {
        std::fill_n(p, 3, crossed_background);
      }
    }
  }
}

// The number at the left of each row of cells: the first cell's block number in a walk, its
// place in the manifest in a set.
int cell_number(const check_set& set, int k) {
  return set.walk ? walk_first + k : k + 1;
}

struct sheet_layout {
  std::vector<std::string> head;  // the lines above the grid
  int32_t grid_x = 0, grid_y = 0, legend_y = 0, width = 0, height = 0;
};

// The legend, line by line: what the samples drawn before each line mean.
const char* const legend[] = {
    ("a block dimmed to grey: brighter where it differs somewhere, darker where all of it is "
     "identical"),
    "the file holds more than expected, by 1, 2 or 3, 4 to 15, 16 or more",
    "the file holds less than expected, by 1, 2 or 3, 4 to 15, 16 or more",
    "the file is missing or unreadable (the report says which and why)",
    "Blocks show as a viewer shows them: a bottom-up file's first stored row at the bottom.",
};
constexpr int32_t legend_text_x = 4 * (swatch + 4) + margin;  // after four samples

sheet_layout lay_out(const check_set& set, const check_report& report, const sheet_options& options,
                     const std::string& dir) {
  sheet_layout l;
  const int cells = static_cast<int>(set.cases.size());
  l.head.push_back("check_walk " + dir + ": " + verdict(set, report, dir));
  l.head.push_back(std::string("Cells in ") +
                   (set.walk ? "walk order" : "the order of vectors.csv") + ", left to right, " +
                   std::to_string(options.columns) + " to a row; at the left of each row, " +
                   (set.walk ? "the number of its first block (block0100.bmp is 100)."
                             : "the place of its first vector in vectors.csv (the first is 1)."));
  const int32_t label_width = text_width(std::to_string(cell_number(set, cells - 1)), text_scale);
  int32_t grid_width, grid_height;
  grid_size(options, cells, &grid_width, &grid_height);
  l.grid_x = margin + label_width + margin;
  l.grid_y = margin + static_cast<int32_t>(l.head.size()) * line_height + margin;
  l.legend_y = l.grid_y + grid_height + margin;
  l.width = l.grid_x + grid_width + margin;
  for (const std::string& line : l.head) {
    l.width = std::max(l.width, margin + text_width(line, text_scale) + margin);
  }
  for (const char* line : legend) {
    l.width = std::max(l.width, legend_text_x + text_width(line, text_scale) + margin);
  }
  l.height = l.legend_y + static_cast<int32_t>(std::size(legend)) * line_height + margin;
  return l;
}

void draw_legend(const sheet_layout& l, sheet_picture* sheet) {
  for (size_t k = 0; k < std::size(legend); ++k) {
    const int32_t y = l.legend_y + static_cast<int32_t>(k) * line_height;
    for (int32_t s = 0; s < 4; ++s) {
      const int32_t x = margin + s * (swatch + 4);
      if (k == 0) {
        // Greys of a block that differs, then of an identical one.
        const uint8_t greys[4] = {100, 70, 40, 24};
        const uint8_t bgr[3] = {greys[s], greys[s], greys[s]};
        fill(sheet, x, y, swatch, swatch, bgr);
      } else if (k == 1 || k == 2) {
        fill(sheet, x, y, swatch, swatch, k == 1 ? more[s] : less[s]);
      } else if (k == 3 && s == 0) {
        draw_cross(sheet, x, y, swatch, 2);
      }
    }
    draw_text(sheet, k == 4 ? margin : legend_text_x, y, text_scale, legend[k], ink);
  }
}

}  // namespace

sheet_picture make_difference_sheet(const check_set& set, const check_report& report,
                                    const sheet_options& options, const std::string& dir) {
  const int cells = static_cast<int>(set.cases.size());
  const sheet_layout l = lay_out(set, report, options, dir);
  sheet_picture sheet;
  start_sheet(l.width, l.height, &sheet);
  for (size_t k = 0; k < l.head.size(); ++k) {
    draw_text(&sheet, margin, margin + static_cast<int32_t>(k) * line_height, text_scale, l.head[k],
              ink);
  }
  draw_grid(options, cells, l.grid_x, l.grid_y, &sheet);
  draw_legend(l, &sheet);

  const int32_t side = block_size * options.scale;
  for (int k = 0; k < cells; ++k) {
    int32_t x0, y0;
    grid_cell(options, k, &x0, &y0);
    x0 += l.grid_x;
    y0 += l.grid_y;
    if (k % options.columns == 0) {
      // The row's number, right-aligned against the grid, level with the cell's middle.
      const std::string label = std::to_string(cell_number(set, k));
      draw_text(&sheet, l.grid_x - margin - text_width(label, text_scale),
                y0 + (side - 7 * text_scale) / 2, text_scale, label, ink);
    }
    const size_t i = static_cast<size_t>(k);
    const case_outcome& outcome = report.compared.outcomes[i];
    if (outcome.state != file_state::read) {
      draw_cross(&sheet, x0, y0, side, options.scale);
      continue;
    }
    const bool cell_differs = outcome.found != outcome.expected;
    const std::vector<uint8_t>& prefix = set.pictures[set.cases[i].picture].layout.prefix;
    const bool bottom_up =
        static_cast<int32_t>(load_le32(&prefix[file_header_size + info_height_at])) > 0;
    for (int32_t dy = 0; dy < side; ++dy) {
      for (int32_t dx = 0; dx < side; ++dx) {
        uint8_t* p = &sheet.rows[3 * (static_cast<size_t>(y0 + dy) * sheet.width + (x0 + dx))];
        // As the contact sheet shows blocks: a bottom-up file's first row at the bottom.
        const int stored = bottom_up ? block_size - 1 - dy / options.scale : dy / options.scale;
        const size_t at = static_cast<size_t>(stored) * block_row_bytes +
                          3 * static_cast<size_t>(dx / options.scale);
        pixel_colour(&outcome.expected[at], &outcome.found[at], cell_differs, p);
      }
    }
  }
  return sheet;
}

#include "difference_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "interpolate.h"

namespace {

constexpr uint8_t above[3] = {0x30, 0x30, 0xFF};  // blue, green, red: the file holds more
constexpr uint8_t below[3] = {0xFF, 0x90, 0x20};  // and less
constexpr uint8_t cross[3] = {0x40, 0x40, 0xE0};
constexpr uint8_t crossed_background = 0x18;

// Identical cells are darker than the dimmed pixels around the differences, so that the cells
// that differ stand out as cells even where few of their pixels do.
uint8_t dimmed(uint8_t v, bool cell_differs) {
  return static_cast<uint8_t>(cell_differs ? 64 + v / 4 : 24 + v / 8);
}

// The colour of one block pixel from its expected and found bytes.
void pixel_colour(const uint8_t* want, const uint8_t* got, bool cell_differs, uint8_t* out) {
  int largest = 0;
  for (int ch = 0; ch < 3; ++ch) {
    const int d = got[ch] - want[ch];
    if (std::abs(d) > std::abs(largest)) largest = d;
  }
  // A difference of 1 already stands out from the dimmed block; 128 and more is full strength.
  const double strength =
      largest ? 0.6 + 0.4 * std::min(1.0, std::log2(std::abs(largest)) / 7.0) : 0.0;
  const uint8_t* signal = largest > 0 ? above : below;
  for (int ch = 0; ch < 3; ++ch) {
    out[ch] = static_cast<uint8_t>(
        std::lround(dimmed(want[ch], cell_differs) * (1 - strength) + signal[ch] * strength));
  }
}

}  // namespace

sheet_picture make_difference_sheet(const check_set& set, const check_report& report,
                                    const sheet_options& options) {
  const int cells = static_cast<int>(set.cases.size());
  sheet_picture sheet;
  int32_t width, height;
  grid_size(options, cells, &width, &height);
  start_sheet(options, cells, width, height, &sheet);
  const int32_t side = block_size * options.scale;
  for (int k = 0; k < cells; ++k) {
    int32_t x0, y0;
    grid_cell(options, k, &x0, &y0);
    const size_t i = static_cast<size_t>(k);
    const case_outcome& outcome = report.outcomes[i];
    const bool compared = outcome.state == file_state::read;
    const bool cell_differs = compared && outcome.found != outcome.expected;
    const std::vector<uint8_t>& prefix = set.pictures[set.cases[i].picture].layout.prefix;
    const bool bottom_up =
        static_cast<int32_t>(load_le32(&prefix[file_header_size + info_height_at])) > 0;
    for (int32_t dy = 0; dy < side; ++dy) {
      for (int32_t dx = 0; dx < side; ++dx) {
        uint8_t* p = &sheet.rows[3 * (static_cast<size_t>(y0 + dy) * width + (x0 + dx))];
        if (!compared) {
          // Both diagonals, as thick as one magnified pixel.
          const bool on_cross =
              std::abs(dx - dy) < options.scale || std::abs(dx + dy - (side - 1)) < options.scale;
          for (int ch = 0; ch < 3; ++ch) p[ch] = on_cross ? cross[ch] : crossed_background;
          continue;
        }
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

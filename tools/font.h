// A small pixel font for the sheets' labels and legends: printable ASCII, 5 x 7 pixels with two
// rows for descenders; any other character is drawn as '?'.
#pragma once

#include <cstdint>
#include <string>

#include "sheet.h"

inline constexpr int glyph_advance = 6;  // a character's width, with the space after it
inline constexpr int line_advance = 11;  // a line's height, with the space under it

// Width of `text` drawn at `scale` (each font pixel scale x scale sheet pixels).
int32_t text_width(const std::string& text, int scale);

// Draws `text` with its top-left at (x, y) in `colour` (blue, green, red), clipped to the sheet.
void draw_text(sheet_picture* sheet, int32_t x, int32_t y, int scale, const std::string& text,
               const uint8_t colour[3]);

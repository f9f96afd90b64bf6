// The walk: the picture "picture.bmp" in, the block files block0100.bmp ... block1999.bmp out.
// What it is, for the program and for the tools that check or picture it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* walk_picture = "picture.bmp";
inline constexpr int walk_first = 100;  // quarter pixels along both axes
inline constexpr int walk_last = 1999;
inline constexpr int32_t unusable_picture = -3;  // a well-formed bitmap the walk cannot use

// The name of block n's file: block0100.bmp ... block1999.bmp.
std::string block_file_name(int n);

// Whether the walk can use a picture of these dimensions and this info block: 3-byte pixels,
// uncompressed, large enough to hold every pixel its blocks read.
bool suits_walk(int32_t width, int32_t height, int32_t bits_per_pixel,
                const std::vector<uint8_t>& info);

// Why the walk refuses a well-formed picture it cannot use, as blockwalk numbers it:
// "error -3! (a bitmap the walk cannot use: ...)".
std::string unusable_refusal();
